#!/usr/bin/env python3
"""Writes the area's shipped timetables in the readable text form (data/VLM/*.txt).

    tools/make_timetables.py BUILD/kestra_timetable [data/VLM]

The running time of every section comes from the program itself: the tool's
--running-times command works out, for each path of the built-in area and each train
category below, how long a train needs from a stand or at line speed to a stand or
passing, with every signal clear. Each booked section is that time plus a margin and the
spread of a station departure, rounded up to the whole minute, so a signaller who keeps
the trains on the move keeps them on time. A section the area has no path for is
reported at the end (the train is kept with a rough time, and fails the timetable
check until the area gains the path).

The build compiles the text files to WTT with the same program (data/CMakeLists.txt);
`kestra_timetable --timetable-check FILE` checks one.
"""
import math
import os
import subprocess
import sys
import tempfile

# name, accel profile, mph, length m, power, freight, description
CATEGORIES = [
    ("STOP", 3, 75, 80, "diesel", False, "Stopping passenger"),
    ("FAST", 2, 100, 160, "diesel", False, "Fast passenger"),
    ("SPLIT", 3, 90, 120, "diesel", False, "Fast passenger dividing or joining at Vellmoor Central"),
    ("BRANCH", 3, 60, 40, "diesel", False, "Branch passenger"),
    ("ECS", 3, 75, 80, "diesel", False, "Empty coaching stock"),
    ("FREIGHT", 1, 60, 400, "diesel", True, "Freight"),
    ("STONE", 0, 45, 300, "diesel", True, "Quarry stone"),
]

# The margin on a running time, and the spread of a departure from a stand.
MARGIN = 1.08
START_SPREAD = 14 + 30
PASS_SPREAD = 15
# A section the area has no path for yet: a rough time, reported.
FALLBACK = 6 * 60


def categories_text():
    out = []
    for name, accel, mph, length, power, freight, desc in CATEGORIES:
        out.append("category %s accel %d speed %d length %d power %s%s desc %s" % (
            name, accel, mph, length, power, " freight" if freight else "", desc))
    return "\n".join(out) + "\n"


class RunningTimes:
    """The tool's running times, looked up the way validation finds a path."""

    def __init__(self, tool):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            # The tool reads a whole timetable: one train makes the file one.
            f.write("name Categories\n" + categories_text() +
                    "train 0X00 STOP WEST 06:00\n  OSTWK  06:01 06:02 plat 1 line DM\n")
            name = f.name
        try:
            text = subprocess.run([tool, "--running-times", name], check=True,
                                  capture_output=True, text=True).stdout
        finally:
            os.unlink(name)
        self.paths = []  # in the area's order: (key fields, {category: times})
        index = {}
        for line in text.splitlines():
            w = line.split()
            if not w or w[0] != "run":
                continue
            key = tuple("" if c == "-" else c for c in w[1:10])
            times = tuple(int(x) for x in w[11:15])
            if key not in index:
                index[key] = {}
                self.paths.append((key, index[key]))
            index[key][w[10]] = times
        self.missing = []

    def lookup(self, entry, frm, to, category, standing, stopping):
        """frm and to are trips (location, platform, line, path); frm is None from an entry."""
        kind = "entry" if frm is None else "loc"
        fl = entry if frm is None else frm[0]
        fcodes = ("", "", "") if frm is None else (frm[1], frm[3], frm[2])
        tcodes = (to[1], to[3], to[2])
        for key, times in self.paths:
            if key[0] != kind or key[1] != fl or key[5] != to[0]:
                continue
            codes = key[2:5] + key[6:9]
            given = fcodes + tcodes
            if all(c == "" or c == g for c, g in zip(codes, given)):
                t = times[category]
                return t[(0 if standing else 2) + (0 if stopping else 1)]
        miss = "%s %s plat %s line %s -> %s plat %s line %s" % (
            kind, fl, fcodes[0] or "-", fcodes[2] or "-", to[0], to[1] or "-", to[2] or "-")
        if miss not in self.missing:
            self.missing.append(miss)
        return FALLBACK


def hm(t):
    s = "%02d:%02d" % (t // 3600, (t // 60) % 60)
    return s if t % 60 == 0 else s + ":%02d" % (t % 60)


def up_to_minute(t):
    return int(math.ceil(t / 60.0)) * 60


class Stop:
    """One trip: location, platform, line into it, dwell minutes, and what happens there."""

    def __init__(self, loc, plat="", line="", dwell=1, passing=False, path="", acts=()):
        self.loc, self.plat, self.line, self.dwell = loc, plat, line, dwell
        self.passing, self.path, self.acts = passing, path, list(acts)

    def key(self):
        return (self.loc, self.plat, self.line, self.path)


class Timetable:
    def __init__(self, name, description, start, finish, comment):
        self.head = ["# " + comment, "name " + name, "description " + description,
                     "start " + hm(start), "finish " + hm(finish), "", categories_text()]
        self.blocks = []
        self.count = 0

    def text(self):
        return "\n".join(self.head + self.blocks) + "\n"


class Builder:
    def __init__(self, times):
        self.times = times

    def train(self, tt, headcode, category, entry, start, stops, options="", last_acts=()):
        """Adds a train; start is the entry time, or the first departure for a train
        that starts inside the area. Returns the time the train reaches its last stop."""
        lines = []
        t = start
        prev = None
        for i, s in enumerate(stops):
            first = i == 0 and entry is None
            last = i == len(stops) - 1
            acts = list(s.acts) + (list(last_acts) if last else [])
            if first:
                arr, dep = None, start
            else:
                standing = prev is not None and not prev.passing
                run = self.times.lookup(entry, prev.key() if prev else None, s.key(), category,
                                        standing, not s.passing)
                spread = START_SPREAD if standing else PASS_SPREAD
                reach = up_to_minute(t + run * MARGIN + spread)
                if s.passing:
                    arr, dep = None, reach
                elif last:
                    arr, dep = reach, None
                else:
                    arr, dep = reach, reach + s.dwell * 60
            text = "  %-6s %-5s %-5s" % (s.loc, hm(arr) if arr else "-", hm(dep) if dep else "-")
            if s.passing:
                text += " pass"
            if s.plat:
                text += " plat " + s.plat
            if s.line:
                text += " line " + s.line
            if s.path:
                text += " path " + s.path
            for a in acts:
                text += " " + a
            lines.append(text)
            t = dep if dep is not None else arr
            prev = s
        head = "train %s %s %s %s" % (headcode, category, entry or "-", hm(start))
        if options:
            head += " " + options
        tt.blocks.append(head)
        tt.blocks.extend(lines)
        tt.blocks.append("")
        tt.count += 1
        return t


# --- the services, as the area's paths give them

def down_stopper(to_harnforth=True):
    s = [Stop("OSTWK", "1", "DM"), Stop("VLMC", "2", "DM", 2)]
    if to_harnforth:
        s += [Stop("HRNF", "1", "DM"), Stop("HRNFE", "", "DM", passing=True)]
    return s


def up_stopper():
    return [Stop("HRNF", "2", "UM"), Stop("VLMC", "3", "UM", 2), Stop("OSTWK", "2", "UM", path="UM"),
            Stop("WESTL", "", "UM", passing=True)]


# Loaded stone from the quarry to Ostwick Yard. It runs through Central's platform 3:
# platform 4 takes the branch train a minute later, which stands there for its main-line
# portion to join it, and that portion follows the stone train up the main line.
LOADED_STONE = [Stop("HRNF", "2", "UG", 4), Stop("VLMC", "3", "UM", passing=True),
                Stop("OSTYD", "", "UG")]

UP_BRANCH = [Stop("QLBY", "2", "UB"), Stop("VLMC", "5", "UB")]
DOWN_BRANCH = [Stop("VLMC", "5", "DB"), Stop("QLBY", "1", "DB"), Stop("TARW", "", "DB", passing=True)]


def beginner(b):
    tt = Timetable("Beginner", "A quiet two hours on the main line and the Tarrow branch.",
                   7 * 3600, 9 * 3600, "Vellmoor: a quiet two hours for a first session. No divides or joins.")
    for k in range(8):
        t = 7 * 3600 + k * 15 * 60
        b.train(tt, "2D%02d" % (k + 1), "STOP", "WEST", t, down_stopper())
        b.train(tt, "2U%02d" % (k + 1), "STOP", "EAST", t + 7 * 60, up_stopper())
    for k in range(4):
        t = 7 * 3600 + 5 * 60 + k * 30 * 60
        up, down = "2T%02d" % (2 * k + 1), "2T%02d" % (2 * k + 2)
        arrive = b.train(tt, up, "BRANCH", "TARROW", t, UP_BRANCH, last_acts=["next service " + down])
        b.train(tt, down, "BRANCH", None, arrive + 5 * 60, DOWN_BRANCH)
    for k in range(2):
        # Between two stopping trains at Harnforth's Up platform.
        b.train(tt, "6Q%02d" % (k + 1), "STONE", "QUARRY", 7 * 3600 + 11 * 60 + k * 60 * 60,
                LOADED_STONE)
    return tt


def standard(b):
    start, finish = 6 * 3600, 12 * 3600
    tt = Timetable("Standard", "A busy weekday morning: main line, branch, portions, depot, yard and quarry.",
                   start, finish,
                   "Vellmoor: a standard weekday from 06:00 to 12:00, busy throughout.")
    hours = range(6, 12)
    for h in hours:
        base = h * 3600
        n = h - 5  # 1 for the 06:00 hour
        # Stopping trains every twenty minutes each way.
        for k, m in enumerate((0, 20, 40)):
            b.train(tt, "2D%d%d" % (n, k + 1), "STOP", "WEST", base + m * 60, down_stopper())
            b.train(tt, "2U%d%d" % (n, k + 1), "STOP", "EAST", base + (m + 8) * 60, up_stopper())
        # The fast down train divides at Central: the front goes on to Harnforth, the rear
        # portion runs down the branch between the bay's trains. None in the last hour,
        # whose portion would run after the timetable ends.
        front, rear = "1S%02d" % n, "2B%02d" % n
        if h != hours[-1]:
            b.train(tt, front, "SPLIT", "WEST", base + 48 * 60,
                    [Stop("OSTWK", "1", "DM", passing=True),
                     Stop("VLMC", "1", "DM", 4, acts=["divide into " + rear]),
                     Stop("HRNF", "1", "DM", passing=True), Stop("HRNFE", "", "DM", passing=True)],
                    "length 160")
            divide_dep = first_departure(tt, front, "VLMC")
            b.train(tt, rear, "BRANCH", None, divide_dep + 3 * 60, DOWN_BRANCH_FROM_1)
        # The fast up train picks up a branch portion at Central.
        portion, through = "2J%02d" % n, "1J%02d" % n
        arrive = b.train(tt, portion, "BRANCH", "TARROW", base + 18 * 60,
                         [Stop("QLBY", "2", "UB"), Stop("VLMC", "4", "UB", acts=["join " + through])])
        b.train(tt, through, "SPLIT", "EAST", arrive - 4 * 60,
                [Stop("HRNF", "2", "UM", passing=True),
                 Stop("VLMC", "4", "UM", 4, acts=["join " + portion]),
                 Stop("OSTWK", "2", "UM", passing=True, path="UM"), Stop("WESTL", "", "UM", passing=True)])
        # Branch trains turning back in the bay, twice an hour.
        for k, m in enumerate((5, 35)):
            up, down = "2T%d%d" % (n, 2 * k + 1), "2T%d%d" % (n, 2 * k + 2)
            arr = b.train(tt, up, "BRANCH", "TARROW", base + m * 60, UP_BRANCH,
                          last_acts=["next service " + down])
            b.train(tt, down, "BRANCH", None, arr + 6 * 60, DOWN_BRANCH)
        # Freight: up through the goods loop and on west, down out of the yard. Trains
        # leaving the yard or the loop eastwards cross over 509 to the Down main: the Up
        # main beside the loop carries the freights coming the other way into it. In the
        # hours the quarry empties stand in the loop the up freight runs through on the
        # Up main, seven minutes later, once the empties have crossed over 507 and 509 to
        # the Down main: the loop cannot hold both, and a freight may run five minutes
        # either side of its time.
        if n % 2 == 1:
            entry, via_loop = base + 45 * 60, [Stop("OSTWK", "2", "UM", passing=True, path="UM")]
        else:
            entry = base + 38 * 60
            via_loop = [Stop("OSTGL", "", "UG", 3), Stop("OSTWK", "2", "UG", passing=True, path="UG")]
        b.train(tt, "6M%02d" % n, "FREIGHT", "EAST", entry,
                [Stop("HRNF", "2", "UM", passing=True), Stop("VLMC", "4", "UM", passing=True)] +
                via_loop + [Stop("WESTL", "", "UM", passing=True)])
        b.train(tt, "6E%02d" % n, "FREIGHT", "OSTYD", base + 30 * 60,
                [Stop("VLMC", "2", "DM", passing=True), Stop("HRNF", "1", "DM", passing=True),
                 Stop("HRNFE", "", "DM", passing=True)])
        # Quarry trains every other hour, loaded out and empty back.
        if n % 2 == 1:
            b.train(tt, "6Q%02d" % n, "STONE", "QUARRY", base + 13 * 60, LOADED_STONE)
            # The empties wait in the goods loop for a path east.
            b.train(tt, "6R%02d" % n, "STONE", "OSTYD", base + 40 * 60,
                    [Stop("OSTGL", "", "DG", 4), Stop("VLMC", "2", "DM", passing=True),
                     Stop("HRNF", "1", "DM", 2), Stop("HRNFQ", "", "DG")])
    # Empty stock from the depot forms extra morning trains from Central; trains ending
    # at Central go back to the depot.
    for k, h in enumerate((6, 7, 8)):
        base = h * 3600
        ecs, service = "5X%02d" % (k + 1), "2X%02d" % (k + 1)
        arr = b.train(tt, ecs, "ECS", "DEPOT", base + 30 * 60, [Stop("VLMC", "1", "DM")],
                      last_acts=["next service " + service])
        b.train(tt, service, "STOP", None, arr + 8 * 60,
                [Stop("VLMC", "1", "DM"), Stop("HRNF", "1", "DM"), Stop("HRNFE", "", "DM", passing=True)])
        inbound, back = "2V%02d" % (k + 1), "5V%02d" % (k + 1)
        arr = b.train(tt, inbound, "STOP", "WEST", base + 5 * 60,
                      [Stop("OSTWK", "1", "DM"), Stop("VLMC", "1", "DM")],
                      last_acts=["next service " + back])
        b.train(tt, back, "ECS", None, arr + 6 * 60, [Stop("VLMC", "1", "DM"), Stop("VLMDEP", "", "DM")])
    # A summer Saturdays' extra: runs only on some days.
    b.train(tt, "1Z50", "FAST", "WEST", 9 * 3600 + 50 * 60,
            [Stop("OSTWK", "1", "DM", passing=True), Stop("VLMC", "2", "DM", 2),
             Stop("HRNF", "1", "DM", passing=True), Stop("HRNFE", "", "DM", passing=True)],
            "as-required percent 30 desc Summer Saturdays only")
    return tt


DOWN_BRANCH_FROM_1 = [Stop("VLMC", "1", "DB"), Stop("QLBY", "1", "DB"), Stop("TARW", "", "DB", passing=True)]


def first_departure(tt, headcode, loc):
    """The departure of headcode's trip at loc in the blocks written so far."""
    inside = False
    for line in tt.blocks:
        w = line.split()
        if not w:
            continue
        if w[0] == "train":
            inside = w[1] == headcode
        elif inside and w[0] == loc:
            return parse_hm(w[2])
    raise KeyError(headcode + " " + loc)


def parse_hm(s):
    p = [int(x) for x in s.split(":")]
    return p[0] * 3600 + p[1] * 60 + (p[2] if len(p) > 2 else 0)


def tunnel(b):
    start, finish = 7 * 3600, 11 * 3600
    tt = Timetable("Tunnel closure", "Greyhallow Tunnel closed: main line trains turn back at Central and Harnforth.",
                   start, finish,
                   "Vellmoor with Greyhallow Tunnel closed: trains from the west turn back at "
                   "Vellmoor Central, trains from the east at Harnforth.")
    for h in range(7, 11):
        base = h * 3600
        n = h - 6
        for k, m in enumerate((0, 30)):
            # From the west: terminate at Central and go back west.
            down, back = "2D%d%d" % (n, k + 1), "2W%d%d" % (n, k + 1)
            arr = b.train(tt, down, "STOP", "WEST", base + m * 60,
                          [Stop("OSTWK", "1", "DM"), Stop("VLMC", "2", "DM")],
                          last_acts=["next service " + back])
            b.train(tt, back, "STOP", None, arr + 8 * 60,
                    [Stop("VLMC", "2", "UM"), Stop("OSTWK", "2", "UM", path="UM"),
                     Stop("WESTL", "", "UM", passing=True)])
            # From the east: terminate at Harnforth and go back east.
            up, ret = "2U%d%d" % (n, k + 1), "2E%d%d" % (n, k + 1)
            arr = b.train(tt, up, "STOP", "EAST", base + (m + 10) * 60, [Stop("HRNF", "2", "UM")],
                          last_acts=["next service " + ret])
            b.train(tt, ret, "STOP", None, arr + 8 * 60,
                    [Stop("HRNF", "2", "DM"), Stop("HRNFE", "", "DM", passing=True)])
        # The branch runs as usual.
        for k, m in enumerate((5, 35)):
            upb, downb = "2T%d%d" % (n, 2 * k + 1), "2T%d%d" % (n, 2 * k + 2)
            arr = b.train(tt, upb, "BRANCH", "TARROW", base + m * 60, UP_BRANCH,
                          last_acts=["next service " + downb])
            b.train(tt, downb, "BRANCH", None, arr + 6 * 60, DOWN_BRANCH)
    return tt


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    target = sys.argv[2] if len(sys.argv) > 2 else "data/VLM"
    b = Builder(RunningTimes(sys.argv[1]))
    for name, make in (("beginner", beginner), ("standard", standard), ("tunnel", tunnel)):
        tt = make(b)
        with open(os.path.join(target, name + ".txt"), "w") as f:
            f.write(tt.text())
        print("%s: %d trains" % (name, tt.count))
    if b.times.missing:
        print("sections without a path in the area (rough times used):", file=sys.stderr)
        for m in b.times.missing:
            print("  " + m, file=sys.stderr)


if __name__ == "__main__":
    main()
