// Forward declarations of the foundation library, so that headers can name
// the library's types without including their definitions.
#pragma once

#include <cstdint>

namespace lumo {

class IBase;
struct CastCandidate;
class IComparable;
class CReferencable;
class CObject;

template <class T>
class P;
template <class T>
using PC = P<const T>;
template <class T>
class PFrail;

class ICharEncoding;
class IString;
class CString;
class CLatin1String;
class CWCharString;
class CUTF8String;
class CUTF32String;
class CCPString;
template <class Char, class Base>
class TNullString;
class String;
struct StringPosition;
class CStringSlice;

class IConstArray;
class CConstArray;
class IArray;
class CArray;
class IConstEnum;
class IEnum;

class IURI;
class IStringLocalizer;

class CException;
class CError;
class CObjectError;
class CMethodNotImplementedError;
class CInvalidArgError;
class CCastError;
class CInvalidObjectStateError;
class CEndOfEnumError;
class CURIError;
class CFileError;
class CFileNotFoundError;
class CParseError;
class CNoSuchObjectError;

// A Unicode code point, or in the code page encoding its 16-bit character.
using CodePoint = std::uint32_t;

}  // namespace lumo
