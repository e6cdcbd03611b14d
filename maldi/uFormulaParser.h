#pragma once
// Chemical formulas to compositions.
//
// Grammar (white space is skipped before every token):
//   formula := list End            list := { item [ number ] }
//   item    := "(" list ")" | element
//   element := upper-case letter { lower-case letter } | "[" any text "]"
//   number  := ( "-" | digit ) { digit }, read with base detection (010 = 8)
// A number multiplies the item directly before it. Examples: C8H8, (CH2)10,
// CH3(CH2CH2O)4H, [13C]2H4, H-1 (one hydrogen less).

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Maldi {

// Atom count (possibly negative after subtraction) per element index of the
// isotope table, in ascending index.
using Composition = std::map<uint32_t, int32_t>;

// sum += scale x addend, element-wise. Throws std::overflow_error when a count
// leaves the 32-bit range (the sum is then left unchanged).
void AddComposition(Composition& sum, const Composition& addend, int64_t scale = 1);

} // namespace Maldi

namespace Parser {

using Maldi::Composition;

// A formula error, with a ready three-line message: what went wrong and a
// colon, the formula, and a caret under the offending position.
class Error : public std::exception {
public:
  explicit Error(std::u16string message);
  const std::u16string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FNarrow.c_str(); }

private:
  std::u16string FMessage;
  std::string FNarrow; // the message for std::exception users, non-ASCII as '?'
};

enum class TokenKind { LeftParen, RightParen, End, Number, Element };

// Appended to every formula before scanning; it marks the end of the input.
inline const std::u16string EndMarker = u"%END%";

// Deepest nesting of parentheses accepted; deeper input would only exhaust the
// stack of the recursive parser and of the tree's destructors.
inline constexpr int MaxNesting = 200;

class Scanner {
public:
  explicit Scanner(const std::u16string& formula);

  // Reads the next token; throws Error on characters no token starts with.
  void Next();
  TokenKind Kind() const { return FKind; }
  const std::u16string& Text() const { return FText; }
  // Value of a Number token: base detected as by wcstol(text, 0) (a leading 0
  // means octal), saturated to the 32-bit range.
  int32_t NumberValue() const;

  // Throws Error with `message`, the formula and a caret under the position at
  // which the scan for the current token began.
  [[noreturn]] void Fail(const std::u16string& message) const;

private:
  std::u16string FInput;    // formula + EndMarker
  std::size_t FEndPos;      // first occurrence of the end marker
  std::size_t FPos = 0;
  std::size_t FTokenStart = 0;
  TokenKind FKind = TokenKind::End;
  std::u16string FText;
};

class Node {
public:
  virtual ~Node() = default;
  // Adds multiplier x this node's atoms to `composition`. Throws
  // std::overflow_error when a count leaves the 32-bit range.
  virtual void AddTo(int32_t multiplier, Composition& composition) const = 0;
};

class ElementNode : public Node {
public:
  explicit ElementNode(uint32_t element) : FElement(element) {}
  void AddTo(int32_t multiplier, Composition& composition) const override;

private:
  uint32_t FElement;
};

class ElementListNode : public Node {
public:
  void AddTo(int32_t multiplier, Composition& composition) const override;
  void Append(std::unique_ptr<Node> child) { FChildren.push_back(std::move(child)); }
  void SetMultiplier(int32_t multiplier) { FMultiplier = multiplier; }

private:
  std::vector<std::unique_ptr<Node>> FChildren;
  int32_t FMultiplier = 1;
};

class FormulaParser {
public:
  FormulaParser(const std::map<std::u16string, int32_t>& symbols, const std::u16string& formula);
  // Parses the whole formula into `composition` (cleared first; left empty on
  // error). Elements whose counts add up to 0 are left out.
  void Parse(Composition& composition);

private:
  std::unique_ptr<ElementListNode> ParseList(int depth);

  const std::map<std::u16string, int32_t>& FSymbols;
  Scanner FScanner;
};

// Convenience: FormulaParser(symbols, formula).Parse(composition).
void ParseFormula(const std::u16string& formula, const std::map<std::u16string, int32_t>& symbols,
                  Composition& composition);

} // namespace Parser
