// kestra_timetable: the program's timetable commands without the Qt front end, so that
// the build can compile the area's timetables when the program itself is not built.
//   kestra_timetable --timetable-import FILE.txt OUT.wtt
//   kestra_timetable --timetable-export FILE.wtt OUT.txt
//   kestra_timetable --timetable-check FILE
//   kestra_timetable --running-times FILE
//   kestra_timetable --timetable-analyse FILE
//   kestra_timetable --timetable-repeat FILE HEADCODE COUNT INTERVAL OUT
//   kestra_timetable --timetable-return FILE HEADCODE NEWHEADCODE TURNROUND OUT [ENTRY]

#include <iostream>
#include <string>
#include <vector>

#include "runner/timetable_tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!kestra::runner::IsTimetableCommand(args)) {
        std::cerr
            << "usage: kestra_timetable --timetable-import|--timetable-export IN OUT\n"
               "       kestra_timetable --timetable-check|--timetable-analyse|--running-times "
               "FILE\n"
               "       kestra_timetable --timetable-repeat FILE HEADCODE COUNT INTERVAL OUT\n"
               "       kestra_timetable --timetable-return FILE HEADCODE NEWHEADCODE "
               "TURNROUND OUT [ENTRY]\n";
        return 2;
    }
    return kestra::runner::RunTimetableTool(args, std::cout, std::cerr);
}
