#pragma once
// Checking points: the times (s) at which a run records the state of the
// process. The generator that fills the editor's list linearly or
// logarithmically, and the rules the list's lines obey. Qt-free, so the
// rules are the same wherever a list is checked.

#include <string>
#include <vector>

namespace Params {

// The largest number of lines the list accepts (and of the points number).
inline constexpr int MaxCheckPoints = 100;

enum TCheckingPointsDistr : int { cdLinear = 0, cdLogarithmic = 1 };

// The generator. `startText` and `finalText` are the Starting and Final Value
// fields (empty counts as 0). Linear: n lines i x f / (n - 1), always from 0
// to f (the starting value is not used). Logarithmic: the line 0, then n - 1
// lines from s to f evenly spaced in logarithm. Each value is written with
// FormatFixed(v, 6, 4).
// Errors (nothing generated): Propagon::EConvertError for a field that is not
// a number; Propagon::EMathError "NonNegative Value Required" for a negative
// value; EMathError for a points number that leaves the step undefined (fewer
// than 2 linear, fewer than 3 logarithmic points), for a logarithmic scale
// with a starting value not above 0 ("Logarithic distribution requires value > 0!")
// and for a final value below the starting value (the list would fall).
std::vector<std::string> GenerateCheckingPoints(int distr, int pointsNumber, const std::string& startText,
                                                const std::string& finalText);

// The message about one line typed into the list ("EMathError\r\nNonNegative
// Value Required", "EConvertError\r\n'x' is not a valid floating point
// value"); empty when the line is a value of 0 or more.
std::string CheckingPointLineError(const std::string& line);

// "Number of Check Points Exceeds 100".
std::string CheckingPointsLimitMessage();

// The order check when the list is left: empty when every line is not smaller
// than the one before (equal neighbours pass); otherwise the message of the
// first pair out of order, "Exception\r\nValue in Line %d must be Lower than
// the Next Ones" with the 1-based number of the earlier line, or the
// conversion message of the first line that is not a number. Blank lines are
// skipped (they are not saved).
std::string CheckingPointsOrderError(const std::vector<std::string>& lines);

} // namespace Params
