#pragma once
// The timetable analysis: probable errors that validation lets through (trains without
// trips or power, stops where there is no station, follow-on trains that do not match
// the train that forms them), and for every location a time-ordered list of the trains
// that arrive, depart or pass there.

#include <string>
#include <vector>

namespace kestra {

class Sim;

// The file the analysis window writes, in the current folder.
inline constexpr const char* AnalysisFileName = "TT_Analysis.txt";

struct TimetableAnalysis {
    // One line per problem, each starting with the train's headcode and ": ", sorted
    // without regard to case.
    std::vector<std::string> Problems;
    // The whole report: the summary heading and the problems, then the location summary.
    std::vector<std::string> Report;
};

// Analyses the working timetable. Validation runs on every train and changes it as it
// always does (timing points inserted, codes filled); nothing else is changed. The
// area's AnalysisHook is called once per train and may add problems.
TimetableAnalysis AnalyseTimetable(Sim& sim);

// Writes the report lines to path, replacing any file there. False when it cannot.
bool WriteAnalysisReport(const std::string& path, const std::vector<std::string>& lines);

}  // namespace kestra
