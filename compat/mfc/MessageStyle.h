// What a message box's MB_* flags ask for: its buttons, the answer of its
// default button and its kind of icon. Header-only, so that the wx module
// reads the flags exactly as the framework does without linking it.
//
//   const auto buttons = compat::mfc::ButtonsOf(MB_YESNO | MB_DEFBUTTON2);
//   int answer = compat::mfc::DefaultAnswer(MB_YESNO | MB_DEFBUTTON2);  // IDNO
#pragma once

#include "compat/mfc/MessageBox.h"
#include "compat/win32/WinTypes.h"

namespace compat::mfc {

// The answers of the buttons, in the order they stand in the box; the places
// after the last button hold 0.
struct ButtonSet {
  int answers[3];
  int count;
};

// Button sets this framework does not offer show a single OK button.
constexpr ButtonSet ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, IDCANCEL}, 2};
    case MB_YESNOCANCEL:
      return {{IDYES, IDNO, IDCANCEL}, 3};
    case MB_YESNO:
      return {{IDYES, IDNO}, 2};
    default:
      return {{IDOK}, 1};
  }
}

// The answer of the default button; a default beyond the last button falls
// back to the first, as the system does.
constexpr int DefaultAnswer(UINT type) {
  const ButtonSet buttons = ButtonsOf(type);
  const int index = static_cast<int>((type & MB_DEFMASK) >> 8);
  return buttons.answers[index < buttons.count ? index : 0];
}

enum class MessageKind { kPlain, kError, kQuestion, kWarning, kInformation };

constexpr MessageKind KindOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      return MessageKind::kError;
    case MB_ICONQUESTION:
      return MessageKind::kQuestion;
    case MB_ICONWARNING:
      return MessageKind::kWarning;
    case MB_ICONINFORMATION:
      return MessageKind::kInformation;
    default:
      return MessageKind::kPlain;
  }
}

}  // namespace compat::mfc
