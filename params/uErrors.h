#pragma once
// Error kinds of the Qt-free core.
//
// The parameter editor and the command line report an input error as the
// error kind, a line break and the message ("EConvertError\r\n'x' is not a
// valid floating point value"), so every error carries the name of its kind.
// Arithmetic faults (division by zero, 0/0, overflow) are raised explicitly
// by the computations, never by floating-point traps.

#include <stdexcept>
#include <string>

namespace Propagon {

class EPropagonError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
  // The name of the error kind as the user sees it ("EConvertError", ...).
  virtual const char* KindName() const noexcept = 0;
  // Kind, CR LF and message: the text of the message box.
  std::string FullText() const { return std::string(KindName()) + "\r\n" + what(); }

  // The input the error is about ("Components/MonomerADensity"), when known:
  // the command line names it, the editor may put the focus there.
  const std::string& Field() const { return FField; }
  void SetField(std::string field) { FField = std::move(field); }

private:
  std::string FField;
};

// A text that is not a number of the wanted kind.
class EConvertError : public EPropagonError {
public:
  using EPropagonError::EPropagonError;
  const char* KindName() const noexcept override { return "EConvertError"; }
};

// A rule violation found while checking parameters ("Required an Integer Value>0").
class EMathError : public EPropagonError {
public:
  using EPropagonError::EPropagonError;
  const char* KindName() const noexcept override { return "EMathError"; }
};

// A non-zero number divided by zero.
class EZeroDivide : public EMathError {
public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
  const char* KindName() const noexcept override { return "EZeroDivide"; }
};

// An operation without a defined result (0/0, square root of a negative number).
class EInvalidOp : public EMathError {
public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
  const char* KindName() const noexcept override { return "EInvalidOp"; }
};

// A result beyond the range of double precision.
class EOverflow : public EMathError {
public:
  EOverflow() : EMathError("Floating point overflow") {}
  const char* KindName() const noexcept override { return "EOverflow"; }
};

// A file the file system refused to write ("Unable to write to " + name).
class EIniFileException : public EPropagonError {
public:
  using EPropagonError::EPropagonError;
  const char* KindName() const noexcept override { return "EIniFileException"; }
};

} // namespace Propagon
