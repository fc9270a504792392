#include "foundation/Exception.h"

#include "foundation/CString.h"
#include "foundation/Cast.h"
#include "foundation/IStringLocalizer.h"
#include "foundation/TypeName.h"

namespace lumo {

namespace {

template <class Error>
P<CException> Clone(const Error& error) {
  return P<CException>::adopt(new Error(error));
}

String OrDefault(const String& text, const char* fallback) { return text.isNull() ? String(fallback) : text; }

String UriText(IURI* uri) { return uri ? uri->getDisplayText() : String("<uri unknown>"); }

}  // namespace

void detail::ThrowCastError(IBase* object, const std::type_info& wanted) { throw CCastError(object, wanted); }

CException::CException(String description, String title)
    : title(std::move(title)), description(std::move(description)) {}

CException::~CException() = default;

const char* CException::what() const noexcept {
  try {
    if (description->isTerminated() && description->hasEncoding(kCodePageEncodingId)) {
      return reinterpret_cast<const char*>(description->data());
    }
    thread_local String narrow;
    narrow = CString::convert(*description, GetCPCharEncoding());
    return reinterpret_cast<const char*>(narrow->data());
  } catch (...) {
    return "lumo::CException";
  }
}

String CException::getTitle() const { return title; }
String CException::getDescription() const { return description; }
P<CException> CException::clone() const { return Clone(*this); }

CError::CError(String description, String title)
    : CException(OrDefault(description, "Unspecified error"), OrDefault(title, "Error")) {}
P<CException> CError::clone() const { return Clone(*this); }

CObjectError::CObjectError(IBase* object, const std::type_info* objectClass, String descriptionTemplate)
    : CObjectError(object, objectClass, std::move(descriptionTemplate), "Object error") {}

CObjectError::CObjectError(IBase* object, const std::type_info* objectClass, String descriptionTemplate,
                           String title)
    : CError(descriptionTemplate.isNull()
                 ? ObjectText(object, objectClass)
                 : descriptionTemplate.replace("%OBJECTDESC%", ObjectText(object, objectClass)),
             std::move(title)),
      object(P<IBase>::share(object)),
      objectClass(objectClass || !object ? objectClass : &typeid(*object)) {}

String CObjectError::ObjectText(IBase* object, const std::type_info* objectClass) {
  if (object) return "object: " + object->describe();
  if (objectClass) return "object class: " + TypeName(*objectClass);
  return "unknown object";
}

P<CException> CObjectError::clone() const { return Clone(*this); }

CMethodNotImplementedError::CMethodNotImplementedError(IBase* object, const std::type_info* objectClass,
                                                       String methodName)
    : CObjectError(object, objectClass,
                   "Method not implemented (" + ObjectText(object, objectClass) + "): " +
                       (methodName.isEmpty() ? String("unspecified method.") : methodName + ".")) {}
P<CException> CMethodNotImplementedError::clone() const { return Clone(*this); }

CInvalidArgError::CInvalidArgError(IBase* object, const std::type_info* objectClass, String methodName,
                                   String argumentText)
    : CObjectError(object, objectClass,
                   "An invalid argument was passed to method '" +
                       (methodName.isEmpty() ? String("unspecified method") : methodName) + "' of '" +
                       ObjectText(object, objectClass) + "': " +
                       (argumentText.isEmpty() ? String("unspecified argument") : argumentText)) {}
P<CException> CInvalidArgError::clone() const { return Clone(*this); }

CCastError::CCastError(IBase* object, const std::type_info& wantedType)
    : CObjectError(object, nullptr,
                   "Error casting a '" + (object ? TypeName(typeid(*object)) : String("unknown")) +
                       "' object to '" + TypeName(wantedType) + "'.",
                   "Cast error") {}
P<CException> CCastError::clone() const { return Clone(*this); }

CInvalidObjectStateError::CInvalidObjectStateError(IBase* object, const std::type_info* objectClass,
                                                   String reason)
    : CObjectError(object, objectClass,
                   "The object is in an invalid state (" + ObjectText(object, objectClass) + "): " + reason +
                       ".") {}
P<CException> CInvalidObjectStateError::clone() const { return Clone(*this); }

CEndOfEnumError::CEndOfEnumError(IBase* object, const std::type_info* objectClass)
    : CInvalidObjectStateError(object, objectClass,
                               Localize("lumo.CEndOfEnumError.desc", "end of enumeration already reached")) {}
P<CException> CEndOfEnumError::clone() const { return Clone(*this); }

CURIError::CURIError(String description, IURI* uri)
    : CError(description.isNull() ? description : description.replace("%URI%", UriText(uri)), "Error"),
      uri(P<IURI>::share(uri)) {}
P<CException> CURIError::clone() const { return Clone(*this); }
P<IURI> CURIError::getURI() const { return uri; }

CFileError::CFileError(String description, IURI* uri) : CURIError(std::move(description), uri) {}
P<CException> CFileError::clone() const { return Clone(*this); }

CFileNotFoundError::CFileNotFoundError(IURI* uri)
    : CFileError(Localize("lumo.CFileNotFoundError.Desc", "The file '%FILE%' was not found.")
                     .replace("%FILE%", UriText(uri)),
                 uri) {}
CFileNotFoundError::CFileNotFoundError()
    : CFileError(Localize("lumo.CFileNotFoundError.GeneralDesc", "The file was not found."), nullptr) {}
P<CException> CFileNotFoundError::clone() const { return Clone(*this); }

CParseError::CParseError(String description) : CError(std::move(description), "Parse error") {}
P<CException> CParseError::clone() const { return Clone(*this); }

CNoSuchObjectError::CNoSuchObjectError(String description)
    : CError(description.isNull() ? Localize("lumo.CNoSuchObjectError.desc", "No such object.") : description,
             "Error") {}
P<CException> CNoSuchObjectError::clone() const { return Clone(*this); }

}  // namespace lumo
