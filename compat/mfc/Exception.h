// The framework's exception classes that the shell raises: a base class and
// the invalid-argument error of its collections.
//
//   if (index >= count) AfxThrowInvalidArgException();
//   try { ... } catch (const CException& error) { ... }
//
// They are thrown by value and caught by reference, so no handler has to
// delete what it caught.
#pragma once

class CException {
 public:
  virtual ~CException() = default;
};

class CInvalidArgException : public CException {};

[[noreturn]] inline void AfxThrowInvalidArgException() { throw CInvalidArgException(); }
