// The report of a failed assertion, and the fatal path that logs it.
#pragma once

#include <string>

namespace Halden {

// The report text: "Assertion failed!" and two newlines, then, for each piece
// that is given (not empty, line not 0), "File: <file>\n",
// "Line: <line>\n\n", "Function: <function>\n\n", "Expression: <expression>"
// and "\n\nDescription: <description>". Null texts count as empty.
std::string AssertionReport(const char* expression, const char* file, int line,
                            const char* function, const char* description);

// Logs the report at level 2 (" ERROR") in group "DBG" through "%s". It
// returns; ending the process is the caller's part.
void RaiseFatalAssertion(const char* expression, const char* file, int line, const char* function,
                         const char* description);

}  // namespace Halden
