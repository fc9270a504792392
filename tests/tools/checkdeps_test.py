#!/usr/bin/env python3
"""The layering check: each row plants one include in a small tree and names
the complaint it must give, or None when the include goes with the grain."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import checkdeps  # noqa: E402

# Headers of the small tree the cases include.
TREE = ["compat/win32/File.h", "compat/win32/ModuleInternal.h", "compat/mfc/CString.h",
        "foundation/String.h", "settings/lapp/Manager.h", "langpacks/Localize.h",
        "shell/Kyrell.h", "peers/orbcore/IgnisLaunch.h", "peers/orbcore/IgnisLaunch.hpp",
        "peers/orbcore/Json.h",
        "tests/support/TestSupport.h", "tests/foundation/Helper.h"]

CASES = [
    # (including file, include line, complaint or None)
    ("shell/A.cpp", '#include "langpacks/Localize.h"', None),
    ("shell/A.cpp", '#include "peers/orbcore/IgnisLaunch.h"', None),
    ("shell/A.cpp", '#include "peers/orbcore/Json.h"', "against the layering"),
    ("shell/A.cpp", '#include "peers/orbcore/IgnisLaunch.hpp"', "against the layering"),
    ("shell/A.cpp", "#include <wx/init.h>", None),
    ("shell/A.cpp", "#include <unistd.h>", "system header"),
    ("peers/orbcore/E.cpp", '#include "shell/Kyrell.h"', "against the layering"),
    ("peers/orbcore/E.cpp", "#include <dlfcn.h>", None),
    ("localization/L.cpp", '#include "settings/lapp/Manager.h"', None),
    ("settings/lapp/M.cpp", '#include "langpacks/Localize.h"', "against the layering"),
    ("localization/L.cpp", '#include "langpacks/Localize.h"', "against the layering"),
    ("foundation/S.cpp", '#include "compat/win32/File.h"', None),
    ("foundation/S.cpp", '#include "settings/lapp/Manager.h"', "against the layering"),
    ("foundation/S.cpp", "#include <sys/stat.h>", "system header"),
    ("foundation/S.cpp", "#include <wx/string.h>", "wx header"),
    ("foundation/S.cpp", "#include <gtest/gtest.h>", "test header"),
    ("foundation/S.cpp", "#include <cxxabi.h>", None),
    ("foundation/S.cpp", "#  include <vector>", None),
    ("foundation/S.cpp", '#include "foundation/Missing.h"', "no file of this tree"),
    ("platform/P.cpp", "#include <unistd.h>", None),
    ("compat/win32/F.cpp", "#include <sqlite3.h>", None),
    ("compat/win32/F.cpp", '#include "compat/mfc/CString.h"', "against the layering"),
    ("compat/win32/F.cpp", '#include "compat/win32/ModuleInternal.h"', None),
    ("compat/mfc/C.cpp", '#include "compat/win32/ModuleInternal.h"', "internal to compat/win32"),
    ("compat/mfc/C.cpp", '/*\n#include "shell/Kyrell.h"\n*/', None),
    ("compat/mfc/C.cpp", '/*\n*/\n#include "shell/Kyrell.h"', 'C.cpp:3: "shell/Kyrell.h"'),
    ("tests/foundation/T.cpp", '#include "Helper.h"', None),
    ("tests/foundation/T.cpp", '#include "compat/win32/ModuleInternal.h"', None),
    ("bench/compat/B.cpp", '#include "compat/win32/ModuleInternal.h"', None),
    ("tests/foundation/T.cpp", "#include <gtest/gtest.h>", None),
    ("shell/A.cpp", '#include "tests/support/TestSupport.h"', "against the layering"),
]


class CheckDeps(unittest.TestCase):
    def test_each_include_is_judged_by_the_layer_table(self):
        for path, line, complaint in CASES:
            with self.subTest(path=path, line=line), tempfile.TemporaryDirectory() as root:
                for header in TREE + [path]:
                    os.makedirs(os.path.join(root, os.path.dirname(header)), exist_ok=True)
                    with open(os.path.join(root, header), "w") as f:
                        f.write(line + "\n" if header == path else "")
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    status = checkdeps.main(["checkdeps", root])
                if complaint is None:
                    self.assertEqual(status, 0, out.getvalue())
                else:
                    self.assertEqual(status, 1, out.getvalue())
                    self.assertIn(path + ":", out.getvalue())
                    self.assertIn(complaint, out.getvalue())

    def test_a_folder_that_is_not_the_source_root_is_refused(self):
        with tempfile.TemporaryDirectory() as root, contextlib.redirect_stderr(io.StringIO()):
            self.assertEqual(checkdeps.main(["checkdeps", root]), 2)


if __name__ == "__main__":
    unittest.main()
