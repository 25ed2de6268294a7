#pragma once
// What the trains did, kept for the time-distance graph and the punctuality report:
// every timing-point report with its booked and actual time, and where each train's
// head stood every few simulated seconds. One record per simulation, emptied with it.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TTRN;

// One report of a train at a timing point, as the message line gives it.
struct TimingReport {
    std::string Train;     // the description at the report
    std::string Location;  // the location's name
    std::string Event;     // "arrived at", "departed from" or "passed"
    std::int32_t Booked = 0;
    std::int32_t Actual = 0;
    // Whole minutes late, negative early, as the message says it.
    std::int32_t MinutesLate = 0;
    // Whole minutes late on entering the area (0 when early or on time).
    std::int32_t EntryMinutesLate = 0;
    std::int32_t Trace = -1;  // the running trace of the train's working
};

// One working of one train: the description it ran under and its timetable.
struct RunningTrace {
    std::string Train;
    // The booked times at the locations of its timetable (location id, time), in order.
    std::vector<std::pair<std::string, std::int32_t>> Booked;
};

// Where a train's head stood at a time: the subroute by its index in the simulation's
// list, and the metres along it.
struct RunningSample {
    std::int32_t Time = 0;
    std::int32_t Trace = 0;
    std::int32_t Subroute = -1;
    float HeadPos = 0;
};

class TRunRecord {
  public:
    // Seconds between two samples of the trains' positions.
    static constexpr std::int32_t kSampleSeconds = 10;
    // Samples room is made for at once: several hours of a busy area.
    static constexpr std::size_t kSampleChunk = 1 << 16;

    // A report at a timing point of a train, at the simulation's time.
    void NoteReport(Sim& sim, TTRN& train, const std::string& event, std::int32_t booked,
                    std::int32_t minutesLate);
    // Every kSampleSeconds, the head of each train in the area.
    void Sample(Sim& sim);
    // Forgets everything, for a new simulation.
    void Reset();

    std::vector<TimingReport> Reports;
    std::vector<RunningTrace> Traces;
    std::vector<RunningSample> Samples;

  private:
    // The trace of the train's present working, made when it first is asked for.
    std::int32_t TraceOf(TTRN& train);
};

// The punctuality report as CSV: a header, then one row per report in time order:
// train, location, event, booked, actual, minutes late.
std::string PunctualityCsv(const TRunRecord& record);

// A summary of each train and each location: per train its lateness at its last report
// and the locations where it lost minutes; per location the trains on time, late (1 to
// 5 minutes) and very late (more than 5 minutes).
struct TrainPunctuality {
    std::string Train;
    std::int32_t FinalMinutesLate = 0;
    // (location, minutes lost there since the report before), only where some were lost.
    std::vector<std::pair<std::string, std::int32_t>> LostAt;
};
struct LocationPunctuality {
    std::string Location;
    std::int32_t OnTime = 0;
    std::int32_t Late = 0;
    std::int32_t VeryLate = 0;
};
std::vector<TrainPunctuality> PunctualityByTrain(const TRunRecord& record);
std::vector<LocationPunctuality> PunctualityByLocation(const TRunRecord& record);
// Both summaries as plain text lines, for the window and the report folder.
std::vector<std::string> PunctualitySummaryLines(const TRunRecord& record);

}  // namespace kestra
