#include "logging/assertion_report.h"

#include "logging/log_system.h"

namespace Halden {
namespace {

bool Given(const char* text) { return text != nullptr && *text != '\0'; }

}  // namespace

std::string AssertionReport(const char* expression, const char* file, int line,
                            const char* function, const char* description) {
  std::string report = "Assertion failed!\n\n";
  if (Given(file)) report.append("File: ").append(file).append("\n");
  if (line != 0) report.append("Line: ").append(std::to_string(line)).append("\n\n");
  if (Given(function)) report.append("Function: ").append(function).append("\n\n");
  if (Given(expression)) report.append("Expression: ").append(expression);
  if (Given(description)) report.append("\n\nDescription: ").append(description);
  return report;
}

void RaiseFatalAssertion(const char* expression, const char* file, int line, const char* function,
                         const char* description) {
  const std::string report = AssertionReport(expression, file, line, function, description);
  Log(kLogError, kGroupDebug, "%s", report.c_str());
}

}  // namespace Halden
