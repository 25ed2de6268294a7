#pragma once
// Small railways built into a simulation, wired the way the area builder wires its
// objects: a plain line, a double junction, a crossover pair and a loop with flank
// protection. One builder makes them all; tests add what else they need through it.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "sim/sim.h"

namespace kestra::test {

// Three- and four-aspect main signals and a shunt signal, as AspectFlags.
inline constexpr std::uint8_t kMainAspects = AfRed | AfSingleYellow | AfDoubleYellow | AfGreen;
inline constexpr std::uint8_t kShuntAspects = AfRed | AfPositionLight;

// Creates objects in the simulation's class lists and links them.
class RailwayBuilder {
  public:
    explicit RailwayBuilder(Sim& sim) : sim_(sim) {}

    TTCS& Circuit(const std::string& id);
    // A signal; its berth circuit is the circuit a train stands on in rear of it.
    TSIG& Signal(const std::string& id, TTCS* berthCircuit = nullptr, std::uint8_t kind = 0,
                 std::uint8_t aspectFlags = kMainAspects);
    TPTS& Points(const std::string& id, TTCS& circuit, std::int32_t x = 0, std::int32_t y = 0);
    // A subroute over a circuit, ending at a signal when one is given. Its ClearTime is
    // 2 x the square root of its length, to the nearest second, as the area gives it.
    TULC& Subroute(TTCS& circuit, const std::string& id, TSIG* endSignal = nullptr,
                   std::int32_t length = 200);
    // Links each subroute to the next one in the list.
    void Chain(std::initializer_list<TULC*> subroutes);
    TOVL& Overlap(TSIG& signal, std::initializer_list<TULC*> subroutes, bool restricted = false);
    TROU& Route(TSIG& entrance, TSIG& exit, std::initializer_list<TULC*> subroutes,
                std::uint8_t routeClass = RcMain, std::initializer_list<TULC*> permissive = {});

    Sim& sim() { return sim_; }

  private:
    Sim& sim_;
};

// T0 - T1 - T2 - T3 - T4, worked both ways.
//   up:   S1 at the end of T0, S2 at the end of T2, S3 at the end of T4;
//         routes S1-S2 (T1, T2) with S2's overlap on T3, and S2-S3 (T3, T4); S3 has
//         no overlap.
//   down: D1 at the end of T3 going down, D2 at the end of T1 going down; route D1-D2
//         (T2, T1) with D2's overlap on T0.
struct PlainLine {
    TTCS *T0, *T1, *T2, *T3, *T4;
    TSIG *S1, *S2, *S3, *D1, *D2;
    TULC *T0ab, *T1ab, *T2ab, *T3ab, *T4ab;
    TULC *T0ba, *T1ba, *T2ba, *T3ba;
    TOVL *S2Overlap, *D2Overlap;
    TROU *S1S2, *S2S3, *D1D2;
};
PlainLine BuildPlainLine(RailwayBuilder& b);

// A double junction. The up main T0 - TA - TJ splits at facing points P1 (in TJ) to
// the up main TM1 - TM2 or the up branch TB1 - TB2. The down main TMd and the down
// branch TBd join at trailing points P2 (in TX) onto the down line TD - TD2; the down
// branch crosses the up main on the flat, so TX "CA" conflicts with TJ "AB".
//   Signals: S0 (end of T0), SA (end of TA), SM (end of TM1), SB (end of TB1),
//   SMd (end of TMd), SBd (end of TBd), SD (end of TD).
//   Routes: S0-SA (TA); SA-SM (TJ AB, TM1); SA-SB (TJ AC, TB1); SMd-SD (TX BA, TD);
//   SBd-SD (TX CA, TD).
//   Overlaps: SA has two, straight (TJ AB, P1 normal) first, then diverging (TJ AC);
//   SM on TM2, SB on TB2, SD on TD2.
struct DoubleJunction {
    TTCS *T0, *TA, *TJ, *TM1, *TM2, *TB1, *TB2, *TMd, *TBd, *TX, *TD, *TD2;
    TSIG *S0, *SA, *SM, *SB, *SMd, *SBd, *SD;
    TPTS *P1, *P2;
    TULC *T0ab, *TAab, *TJab, *TJac, *TM1ab, *TM2ab, *TB1ab, *TB2ab;
    TULC *TMdba, *TBdba, *TXba, *TXca, *TDba, *TD2ba;
    TOVL *SAStraight, *SADiverging, *SMOverlap, *SBOverlap, *SDOverlap;
    TROU *S0SA, *SASM, *SASB, *SMdSD, *SBdSD;
};
DoubleJunction BuildDoubleJunction(RailwayBuilder& b);

// Two parallel lines joined by a crossover whose two ends X1 (in TU, up line) and X2
// (in TW, down line) are paired. Both lines are worked in the up direction here:
//   U1 (end of TU0) - U2 (end of TU1) straight along the up line over TU "AB" (X1
//   normal); U1 - W2 (end of TW1) across the crossover over TU "AC" (X1 reverse) and
//   TW "CB" (X2 reverse); W1 (end of TW0) - W2 along the down line over TW "AB"
//   (X2 normal).
struct CrossoverPair {
    TTCS *TU0, *TU, *TU1, *TW0, *TW, *TW1;
    TSIG *U1, *U2, *W1, *W2;
    TPTS *X1, *X2;
    TULC *TU0ab, *TUab, *TUac, *TU1ab, *TW0ab, *TWab, *TWcb, *TW1ab;
    TROU *U1U2, *U1W2, *W1W2;
};
CrossoverPair BuildCrossoverPair(RailwayBuilder& b);

// A main line with a passing loop: facing points L1 (in TP1) lead to the main TMain or
// the loop TLoop, trailing points L2 (in TP2) join them again before TL3. A siding
// joins beside the main through points F (in TSid): the main route holds F normal as
// flank protection.
//   Signals: SL (end of TL0), SXm (end of TMain), SXl (end of TLoop), SOut (end of TL3).
//   Routes: SL-SXm (TP1 AB, TMain), SL-SXl (TP1 AC, TLoop), SXm-SOut (TP2 AB, TL3),
//   SXl-SOut (TP2 CB, TL3). Overlaps: SXm over TP2 AB, SXl over TP2 CB.
struct LoopWithFlank {
    TTCS *TL0, *TP1, *TMain, *TLoop, *TP2, *TL3, *TSid;
    TSIG *SL, *SXm, *SXl, *SOut;
    TPTS *L1, *L2, *F;
    TULC *TL0ab, *TP1ab, *TP1ac, *TMainab, *TLoopab, *TP2ab, *TP2cb, *TL3ab, *TSidab, *TSidac;
    TOVL *SXmOverlap, *SXlOverlap;
    TROU *SLSXm, *SLSXl, *SXmSOut, *SXlSOut;
};
LoopWithFlank BuildLoopWithFlank(RailwayBuilder& b);

// A facing junction worked both ways, with overlaps longer than one subroute. The up
// line TU0 - TU1 - T1 - T2 splits at points P (in T2) to the main T3 - T5 or the branch
// T4 - T6; the down lines come back the same way and join at P.
//   Up signals: SU1 (end of TU0), SU2 (end of TU1), SM (end of T3), SB (end of T4).
//   Down signals: SDm (end of T5), SD3m (end of T3), SDb (end of T6), SD2 (end of T1),
//   SD3 (end of TU0).
//   Overlaps: SU2 has two of three subroutes each, over the main (T1 AB, T2 AB, T3 AB)
//   first and over the branch (T1 AB, T2 AC, T4 AB): the alternatives part on circuits
//   of their own. SD3m's runs back over T2 BA, T1 BA against SU2's; SD2's over TU1 BA
//   and TU0 BA; SM's over T5 AB; SB's over T6 AB.
//   Routes: SU1-SU2 (TU1), SU2-SM (T1, T2 AB, T3), SU2-SB (T1, T2 AC, T4), SDm-SD3m (T3),
//   SD3m-SD2 (T2 BA, T1), SDb-SD2 (T4, T2 CA, T1), SD2-SD3 (TU1, TU0).
struct LongOverlapJunction {
    TTCS *TU0, *TU1, *T1, *T2, *T3, *T4, *T5, *T6;
    TSIG *SU1, *SU2, *SM, *SB, *SDm, *SD3m, *SDb, *SD2, *SD3;
    TPTS* P;
    TULC *TU0ab, *TU1ab, *T1ab, *T2ab, *T2ac, *T3ab, *T4ab, *T5ab, *T6ab;
    TULC *T5ba, *T3ba, *T6ba, *T4ba, *T2ba, *T2ca, *T1ba, *TU1ba, *TU0ba;
    TOVL *SU2Main, *SU2Branch, *SD3mOverlap, *SD2Overlap, *SMOverlap, *SBOverlap;
    TROU *SU1SU2, *SU2SM, *SU2SB, *SDmSD3m, *SD3mSD2, *SDbSD2, *SD2SD3;
};
LongOverlapJunction BuildLongOverlapJunction(RailwayBuilder& b);

}  // namespace kestra::test
