// The program's exception family. Every exception carries the name of its class and a
// fixed message: several places show "class name + message" without a separator.
#pragma once

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual const char* ClassName() const noexcept { return "Exception"; }
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares an exception class of the family: `DECLARE_EXCEPTION(EZipError, Exception);`
#define DECLARE_EXCEPTION(Name, Base)                                         \
  class Name : public Base {                                                  \
   public:                                                                    \
    using Base::Base;                                                         \
    const char* ClassName() const noexcept override { return #Name; }         \
  }

// Raised by the portable file functions and the file streams built on them.
DECLARE_EXCEPTION(EInOutError, Exception);
// The list index error of the containers ("List index out of bounds (N)").
DECLARE_EXCEPTION(EListError, Exception);
// A text that is not a number where a number is required.
DECLARE_EXCEPTION(EConvertError, Exception);

// "Class name + message", the way the outermost handlers show an exception.
inline std::string DescribeException(const std::exception& e) {
  if (auto* own = dynamic_cast<const Exception*>(&e)) {
    return std::string(own->ClassName()) + own->Message();
  }
  return std::string("Exception") + e.what();
}
