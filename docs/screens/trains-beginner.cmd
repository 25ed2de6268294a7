# The signaller's first minutes of the beginner's timetable, for the trains pictures:
# 2D01 from the west through Ostwick and Vellmoor Central, 2U01 from the east into Harnforth.
07:00:00 route SVM1 SVM3
07:01:00 route SVM3 SVM101
07:02:00 route SVM11 SVM15
07:03:00 route SVM15 SVM103
07:04:00 route SVM23 SVM105
07:06:00 route SVM29 SVM31
07:07:00 route SVM31 SVM113
07:07:00 route SVM38 SVM36
07:08:00 route SVM36 SVM34
07:10:00 route SVM34 SVM118
