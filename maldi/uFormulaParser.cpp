#include "maldi/uFormulaParser.h"

#include <limits>

namespace Maldi {

void AddComposition(Composition& sum, const Composition& addend, int64_t scale) {
  // Computed aside first so that an overflow leaves `sum` as it was.
  Composition result = sum;
  for (const auto& [element, count] : addend) {
    int64_t scaled = 0;
    int32_t total = 0;
    if (__builtin_mul_overflow(int64_t(count), scale, &scaled) ||
        scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max() ||
        __builtin_add_overflow(result[element], int32_t(scaled), &total))
      throw std::overflow_error("Atom count out of range");
    result[element] = total;
  }
  sum = std::move(result);
}

} // namespace Maldi

namespace Parser {

namespace {

std::string NarrowForWhat(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text)
    out += c < 0x80 ? char(c) : '?';
  return out;
}

// The character classes of the C library's wide-character tests in the C
// locale; anything beyond ASCII is none of them there.
bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool IsLower(char16_t c) { return c >= u'a' && c <= u'z'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

} // namespace

Error::Error(std::u16string message)
    : FMessage(std::move(message)), FNarrow(NarrowForWhat(FMessage)) {}

Scanner::Scanner(const std::u16string& formula)
    : FInput(formula + EndMarker), FEndPos(FInput.find(EndMarker)) {}

void Scanner::Fail(const std::u16string& message) const {
  std::u16string text = message + u":\n";
  text += FInput.substr(0, FInput.size() - EndMarker.size());
  text += u"\n";
  text += std::u16string(FTokenStart, u' ');
  text += u"^\n";
  throw Error(std::move(text));
}

void Scanner::Next() {
  FTokenStart = FPos;
  FText.clear();
  while (FPos < FEndPos && IsSpace(FInput[FPos]))
    ++FPos;
  // The end marker is always present, so FPos never runs past the input.
  const char16_t c = FInput[FPos];
  if (FPos == FEndPos) {
    FKind = TokenKind::End;
  } else if (c == u'(') {
    FKind = TokenKind::LeftParen;
    ++FPos;
  } else if (c == u')') {
    FKind = TokenKind::RightParen;
    ++FPos;
  } else if (c == u'-' || IsDigit(c)) {
    FKind = TokenKind::Number;
    FText += c;
    ++FPos;
    while (IsDigit(FInput[FPos]))
      FText += FInput[FPos++];
  } else if (IsUpper(c)) {
    FKind = TokenKind::Element;
    FText += c;
    ++FPos;
    while (IsLower(FInput[FPos]))
      FText += FInput[FPos++];
  } else if (c == u'[') {
    // Any text up to the closing bracket names an element ([13C], [Me]); a
    // '%' on the way means the bracket was never closed before the end.
    std::size_t pos = FPos + 1;
    while (FInput[pos] != u']' && FInput[pos] != u'%')
      ++pos;
    if (FInput[pos] == u'%')
      Fail(u"Missing left bracket");
    FKind = TokenKind::Element;
    FText = FInput.substr(FPos + 1, pos - FPos - 1);
    FPos = pos + 1;
  } else if (c == u'%') {
    Fail(u"Illegal character: '%'");
  } else {
    Fail(u"Parse error");
  }
}

int32_t Scanner::NumberValue() const {
  // As wcstol with base 0 on a sign-and-digits token: "-" alone is 0, a
  // leading 0 switches to octal and the first 8 or 9 ends the number.
  std::size_t pos = 0;
  const bool negative = !FText.empty() && FText[0] == u'-';
  if (negative)
    ++pos;
  int base = 10;
  if (pos < FText.size() && FText[pos] == u'0')
    base = 8;
  int64_t value = 0;
  constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  for (; pos < FText.size(); ++pos) {
    const int digit = int(FText[pos] - u'0');
    if (digit >= base)
      break;
    value = value * base + digit;
    if (value > limit)
      value = limit; // saturate like the 32-bit conversion of the platform
  }
  if (negative)
    return int32_t(-value); // -2^31 still fits
  return int32_t(value >= limit ? limit - 1 : value);
}

void ElementNode::AddTo(int32_t multiplier, Composition& composition) const {
  int32_t& count = composition[FElement];
  const int64_t sum = int64_t(count) + multiplier;
  if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max())
    throw std::overflow_error("Atom count out of range");
  count = int32_t(sum);
}

void ElementListNode::AddTo(int32_t multiplier, Composition& composition) const {
  const int64_t product = int64_t(multiplier) * FMultiplier;
  if (product < std::numeric_limits<int32_t>::min() || product > std::numeric_limits<int32_t>::max())
    throw std::overflow_error("Atom count out of range");
  for (const auto& child : FChildren)
    child->AddTo(int32_t(product), composition);
}

FormulaParser::FormulaParser(const std::map<std::u16string, int32_t>& symbols,
                             const std::u16string& formula)
    : FSymbols(symbols), FScanner(formula) {}

std::unique_ptr<ElementListNode> FormulaParser::ParseList(int depth) {
  auto list = std::make_unique<ElementListNode>();
  for (;;) {
    std::unique_ptr<ElementListNode> item;
    if (FScanner.Kind() == TokenKind::LeftParen) {
      if (depth >= MaxNesting)
        FScanner.Fail(u"Too many nested parentheses");
      FScanner.Next();
      item = ParseList(depth + 1);
      if (FScanner.Kind() != TokenKind::RightParen)
        FScanner.Fail(u"Expected right parenthesis");
    } else if (FScanner.Kind() == TokenKind::Element) {
      const auto found = FSymbols.find(FScanner.Text());
      if (found == FSymbols.end())
        FScanner.Fail(u"'" + FScanner.Text() + u"' is not an element");
      item = std::make_unique<ElementListNode>();
      item->Append(std::make_unique<ElementNode>(uint32_t(found->second)));
    } else {
      return list;
    }
    FScanner.Next();
    if (FScanner.Kind() == TokenKind::Number) {
      item->SetMultiplier(FScanner.NumberValue());
      FScanner.Next();
    }
    list->Append(std::move(item));
  }
}

void FormulaParser::Parse(Composition& composition) {
  composition.clear();
  FScanner.Next();
  const std::unique_ptr<ElementListNode> root = ParseList(0);
  if (FScanner.Kind() != TokenKind::End)
    FScanner.Fail(u"End of input expected");
  Composition result;
  try {
    root->AddTo(1, result);
  } catch (const std::overflow_error&) {
    // Counts beyond 32 bits (C2147483647C, (C99999)99999) have no pattern a
    // computer could hold; the caret points at the end of the formula.
    FScanner.Fail(u"Atom count out of range");
  }
  std::erase_if(result, [](const auto& entry) { return entry.second == 0; });
  composition = std::move(result);
}

void ParseFormula(const std::u16string& formula, const std::map<std::u16string, int32_t>& symbols,
                  Composition& composition) {
  FormulaParser(symbols, formula).Parse(composition);
}

} // namespace Parser
