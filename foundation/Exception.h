// The error hierarchy: every failure of the library and the application is
// raised as one of these. An error carries a title and a description;
// classes further down say which object, method, URI or file it is about.
//
//   throw lumo::CInvalidArgError(this, nullptr, "setSize", "size is negative");
//   ...
//   catch (const lumo::CException& error) { keep = error.clone(); }
//
// Errors are raised by value; a handler that needs one beyond its own scope
// keeps the result of clone. Nothing here raises while an error is built.
#pragma once

#include <exception>
#include <typeinfo>

#include "foundation/IURI.h"
#include "foundation/Object.h"
#include "foundation/Pointer.h"
#include "foundation/String.h"

namespace lumo {

class CException : public std::exception, public CObject {
 public:
  CException(String description, String title);
  CException(const CException&) = default;
  ~CException() override;

  // The description in the process's code page. The text stays valid until
  // this thread asks any error for its `what` again.
  const char* what() const noexcept override;
  virtual String getTitle() const;
  virtual String getDescription() const;
  virtual P<CException> clone() const;

 private:
  String title;
  String description;
};

// A null title reads "Error", a null description "Unspecified error"; empty
// ones stay empty.
class CError : public CException {
 public:
  explicit CError(String description = nullptr, String title = nullptr);
  P<CException> clone() const override;
};

// An error about an object. Its text names the object by its description,
// else by its class, else as "unknown object"; a class not given is taken
// from the object. "%OBJECTDESC%" in the template is replaced by that text;
// a null template is the text alone.
class CObjectError : public CError {
 public:
  CObjectError(IBase* object, const std::type_info* objectClass, String descriptionTemplate);
  P<CException> clone() const override;

  IBase* getObject() const { return object.get(); }
  const std::type_info* getObjectClass() const { return objectClass; }

 protected:
  CObjectError(IBase* object, const std::type_info* objectClass, String descriptionTemplate,
               String title);
  // "object: <description>", "object class: <type name>" or "unknown object".
  static String ObjectText(IBase* object, const std::type_info* objectClass);

 private:
  P<IBase> object;
  const std::type_info* objectClass;
};

class CMethodNotImplementedError : public CObjectError {
 public:
  CMethodNotImplementedError(IBase* object, const std::type_info* objectClass, String methodName);
  P<CException> clone() const override;
};

class CInvalidArgError : public CObjectError {
 public:
  CInvalidArgError(IBase* object, const std::type_info* objectClass, String methodName,
                   String argumentText);
  P<CException> clone() const override;
};

class CCastError : public CObjectError {
 public:
  CCastError(IBase* object, const std::type_info& wantedType);
  P<CException> clone() const override;
};

class CInvalidObjectStateError : public CObjectError {
 public:
  CInvalidObjectStateError(IBase* object, const std::type_info* objectClass, String reason);
  P<CException> clone() const override;
};

class CEndOfEnumError : public CInvalidObjectStateError {
 public:
  CEndOfEnumError(IBase* object, const std::type_info* objectClass);
  P<CException> clone() const override;
};

// An error about a URI. "%URI%" in the description shows the URI as users
// see it, or "<uri unknown>" when there is none.
class CURIError : public CError {
 public:
  CURIError(String description, IURI* uri);
  P<CException> clone() const override;
  virtual P<IURI> getURI() const;

 private:
  P<IURI> uri;
};

class CFileError : public CURIError {
 public:
  CFileError(String description, IURI* uri);
  P<CException> clone() const override;
};

class CFileNotFoundError : public CFileError {
 public:
  explicit CFileNotFoundError(IURI* uri);
  CFileNotFoundError();
  P<CException> clone() const override;
};

class CParseError : public CError {
 public:
  explicit CParseError(String description);
  P<CException> clone() const override;
};

class CNoSuchObjectError : public CError {
 public:
  explicit CNoSuchObjectError(String description = nullptr);
  P<CException> clone() const override;
};

}  // namespace lumo
