#!/usr/bin/env python3
"""Writes the area's shipped timetables in the readable text form (data/VLM/*.txt).

Compile them to WTT with the program's own writer:
    kestra --timetable-import data/VLM/beginner.txt data/VLM/beginner.wtt
and check them with --timetable-check.

Each train follows one of the services below: its stops, the platform at each, the
line code of each step and the minutes from the previous stop.
"""
import sys

# (location, platform, line code away, minutes from previous, dwell minutes, pass)
DOWN_MAIN = ("WEST", [("OSTWK", "1", "DM", 3, 1, False), ("VLMC", "2", "DM", 5, 2, False),
                      ("HRNF", "1", "DM", 7, 1, False), ("HRNFE", "", "DM", 2, 0, True)])
UP_MAIN = ("EAST", [("HRNF", "2", "UM", 3, 1, False), ("VLMC", "3", "UM", 7, 2, False),
                    ("OSTWK", "2", "UM", 5, 1, False), ("WESTL", "", "UM", 3, 0, True)])
UP_BRANCH = ("TARROW", [("QLBY", "2", "UB", 4, 1, False), ("VLMC", "5", "UB", 6, 0, False)])
DOWN_BRANCH = (None, [("VLMC", "5", "DB", 0, 0, False), ("QLBY", "1", "DB", 6, 1, False),
                      ("TARW", "", "DB", 4, 0, True)])
# The quarry trains stop at Harnforth: the area's paths give the line into Harnforth
# from the quarry (UG) and the line away towards Vellmoor (UM) in the same field, which a
# trip holds only once, so no path runs them on to the goods loop yet.
QUARRY = ("QUARRY", [("HRNF", "2", "UG", 4, 0, False)])


def hm(t):
    return "%02d:%02d" % (t // 3600, (t // 60) % 60)


def train(out, headcode, category, service, start, next_service=None):
    entry, stops = service
    t = start
    lines = []
    for i, (loc, plat, line, run, dwell, passing) in enumerate(stops):
        t += run * 60
        arr = t
        last = i == len(stops) - 1
        if entry is None and i == 0:
            text = "  %-6s %-5s %-5s" % (loc, "-", hm(t))
        elif passing:
            text = "  %-6s %-5s %-5s pass" % (loc, "-", hm(t))
        elif last:
            text = "  %-6s %-5s %-5s" % (loc, hm(arr), "-")
        else:
            t += dwell * 60
            text = "  %-6s %-5s %-5s" % (loc, hm(arr), hm(t))
        if plat:
            text += " plat " + plat
        text += " line " + line
        if last and next_service:
            text += " next service " + next_service
        lines.append(text)
    out.append("train %s %s %s %s" % (headcode, category, entry or "-", hm(start)))
    out.extend(lines)
    out.append("")


CATEGORIES = """category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger
category FAST accel 2 speed 100 length 160 power diesel desc Fast passenger
category BRANCH accel 3 speed 60 length 40 power diesel desc Branch passenger
category STONE accel 0 speed 45 length 300 power diesel freight desc Quarry stone
"""


def beginner():
    out = ["# Vellmoor: a quiet two hours for a first session. No divides or joins.",
           "name Beginner", "description A quiet two hours on the main line and the Tarrow branch.",
           "start 07:00", "finish 09:00", "", CATEGORIES]
    n = 0
    for k in range(8):
        t = 7 * 3600 + k * 15 * 60
        train(out, "2D%02d" % (k + 1), "STOP", DOWN_MAIN, t)
        train(out, "2U%02d" % (k + 1), "STOP", UP_MAIN, t + 7 * 60)
        n += 2
    for k in range(4):
        t = 7 * 3600 + 5 * 60 + k * 30 * 60
        up, down = "2T%02d" % (2 * k + 1), "2T%02d" % (2 * k + 2)
        train(out, up, "BRANCH", UP_BRANCH, t, next_service=down)
        train(out, down, "BRANCH", DOWN_BRANCH, t + 10 * 60 + 4 * 60)
        n += 2
    for k in range(2):
        train(out, "6Q%02d" % (k + 1), "STONE", QUARRY, 7 * 3600 + 20 * 60 + k * 60 * 60)
        n += 1
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "data/VLM"
    with open(target + "/beginner.txt", "w") as f:
        f.write(beginner())
