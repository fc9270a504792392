// Titles and descriptions of every error class, clones, and the narrow text of `what`.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"

namespace lumo {
namespace {

struct ErrorCase {
  const char* name;
  std::function<P<CException>()> make;
  const char* title;        // nullptr: the title is the null string
  const char* description;  // as UTF-8
};

template <class Error, class... Args>
std::function<P<CException>()> Raise(Args... args) {
  return [=] { return P<CException>(lumo::make<Error>(args...)); };
}

std::vector<ErrorCase> ErrorCases(IURI* uri, IBase* object) {
  const std::type_info* stringClass = &typeid(CString);
  return {
      {"exception keeps null texts", Raise<CException>(String(), String()), nullptr, ""},
      {"error defaults", Raise<CError>(String(), String()), "Error", "Unspecified error"},
      {"error keeps empty texts", Raise<CError>(String(""), String("")), "", ""},
      {"object error, nothing known", Raise<CObjectError>(nullptr, nullptr, String()), "Object error",
       "unknown object"},
      {"object error, class in template", Raise<CObjectError>(nullptr, stringClass, String("Bad %OBJECTDESC%!")),
       "Object error", "Bad object class: class lumo::CString!"},
      {"object error, object described", Raise<CObjectError>(object, stringClass, String()), "Object error",
       "object: class lumo::CUTF16CharEncoding object"},
      {"method, unnamed", Raise<CMethodNotImplementedError>(nullptr, nullptr, String("")), "Object error",
       "Method not implemented (unknown object): unspecified method."},
      {"method, named", Raise<CMethodNotImplementedError>(nullptr, stringClass, String("run")), "Object error",
       "Method not implemented (object class: class lumo::CString): run."},
      {"argument, nothing named", Raise<CInvalidArgError>(nullptr, nullptr, String(), String("")),
       "Object error",
       "An invalid argument was passed to method 'unspecified method' of 'unknown object': unspecified argument"},
      {"argument, named", Raise<CInvalidArgError>(nullptr, stringClass, String("setSize"), String("size < 0")),
       "Object error",
       "An invalid argument was passed to method 'setSize' of 'object class: class lumo::CString': size < 0"},
      {"cast", Raise<CCastError>(object, std::cref(typeid(IURI))), "Cast error",
       "Error casting a 'class lumo::CUTF16CharEncoding' object to 'class lumo::IURI'."},
      {"state", Raise<CInvalidObjectStateError>(nullptr, nullptr, String("closed")), "Object error",
       "The object is in an invalid state (unknown object): closed."},
      {"end of enumeration", Raise<CEndOfEnumError>(nullptr, stringClass), "Object error",
       "The object is in an invalid state (object class: class lumo::CString): end of enumeration already "
       "reached."},
      {"uri unknown", Raise<CURIError>(String("Cannot read %URI% (%URI%)."), static_cast<IURI*>(nullptr)),
       "Error", "Cannot read <uri unknown> (<uri unknown>)."},
      {"uri known", Raise<CURIError>(String("Cannot read %URI%."), uri), "Error", "Cannot read C:\\a b\\c.txt."},
      {"uri, null description", Raise<CURIError>(String(), uri), "Error", "Unspecified error"},
      {"file", Raise<CFileError>(String("Locked: %URI%"), uri), "Error", "Locked: C:\\a b\\c.txt"},
      {"file not found", Raise<CFileNotFoundError>(uri), "Error", "The file 'C:\\a b\\c.txt' was not found."},
      {"file not found, no uri", Raise<CFileNotFoundError>(), "Error", "The file was not found."},
      {"parse", Raise<CParseError>(String("Error parsing integer.")), "Parse error", "Error parsing integer."},
      {"no such object", Raise<CNoSuchObjectError>(), "Error", "No such object."},
      {"no such object, empty", Raise<CNoSuchObjectError>(String("")), "Error", ""},
  };
}

TEST(Errors, TitlesDescriptionsAndClones) {
  const P<CURI> uri = make<CURI>(u"file:///C:/a%20b/c.txt");
  for (const ErrorCase& row : ErrorCases(uri.get(), GetUTF16CharEncoding().get())) {
    SCOPED_TRACE(row.name);
    // A clone is a new error of the same class with the same texts and subjects.
    const P<CException> error = row.make(), clone = error->clone();
    ASSERT_NE(clone.get(), error.get());
    for (const CException* each : {error.get(), clone.get()}) {
      EXPECT_EQ(each->getTitle().isNull() ? "<null>" : ToUTF8(each->getTitle()), row.title ? row.title : "<null>");
      EXPECT_EQ(ToUTF8(each->getDescription()), row.description);
    }
    const CException &original = *error, &copy = *clone;
    EXPECT_EQ(typeid(copy), typeid(original));
    if (auto* uriError = dynamic_cast<CURIError*>(error.get())) {
      EXPECT_EQ(dynamic_cast<CURIError&>(*clone).getURI(), uriError->getURI());
    }
    if (auto* objectError = dynamic_cast<CObjectError*>(error.get())) {
      EXPECT_EQ(dynamic_cast<CObjectError&>(*clone).getObject(), objectError->getObject());
      EXPECT_EQ(dynamic_cast<CObjectError&>(*clone).getObjectClass(), objectError->getObjectClass());
    }
  }
}

TEST(Errors, ObjectClassIsTakenFromTheObjectWhenNotGiven) {
  IBase* object = GetUTF16CharEncoding().get();
  CObjectError withObject(object, nullptr, String());
  ASSERT_NE(withObject.getObjectClass(), nullptr);
  EXPECT_EQ(*withObject.getObjectClass(), typeid(*object));
  EXPECT_EQ(CObjectError(nullptr, nullptr, String()).getObjectClass(), nullptr);
}

// `what` is the description in the process code page; its text lives until the same thread asks again.
TEST(Errors, WhatIsTheDescriptionInTheCodePageAndLivesUntilTheSameThreadAsksAgain) {
  const CError error(u"Gr\u00f6\u00dfe \u20ac"), second(u"second \u00e9");
  const std::exception& caught = error;  // as a handler for any standard exception sees it
  {
    test::ScopedLocale locale("C");
    EXPECT_STREQ(caught.what(), "Gr??e ?");
  }
  test::ScopedLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.available);
  const char* text = caught.what();
  std::thread([&] { EXPECT_STREQ(second.what(), "second \xc3\xa9"); }).join();
  EXPECT_STREQ(text, "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac");
  EXPECT_STREQ(second.what(), "second \xc3\xa9");
}

}  // namespace
}  // namespace lumo
