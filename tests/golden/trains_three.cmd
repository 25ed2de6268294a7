# The signaller's commands for the three-train end-to-end run
# (tests/trains/train_headless_test.cpp), in time order. Each train is routed section by
# section as it approaches, once the way ahead is free:
#   2D01 Down main from the west, enters 07:00: Ostwick, Vellmoor, Harnforth, out east.
#   2T01 Tarrow branch, enters 07:05: Quillby, then into the bay at Vellmoor (terminates).
#   2U01 Up main from the east, enters 07:07: Harnforth, Vellmoor behind 2T01 (which has
#        the junction first), Ostwick, out west.

# 2D01 into Ostwick and on.
07:00:00 route SVM1 SVM3
07:01:00 route SVM3 SVM101
07:01:30 route SVM101 SVM11
07:02:00 route SVM11 SVM15
07:03:00 route SVM15 SVM103
07:04:00 route SVM23 SVM105
# 2T01 on the branch.
07:05:00 route SVM44 SVM124
# 2D01 on from Vellmoor; 2T01 towards Quillby.
07:06:00 route SVM29 SVM31
07:06:00 route SVM46 SVM32
07:07:00 route SVM31 SVM113
# 2U01 into Harnforth.
07:07:00 route SVM38 SVM36
07:08:00 route SVM36 SVM34
# 2T01 from Quillby.
07:09:00 route SVM32 SVM122
# 2U01 from Harnforth.
07:10:00 route SVM34 SVM118
# 2T01 through the junction into the bay.
07:11:00 route SVM26 SVM110
07:12:00 route SVM20 SVMB1
# 2U01 through the junction once 2T01 is in the bay, then on west.
07:17:00 route SVM24 SVM110
07:18:00 route SVM20 SVM16
07:21:00 route SVM16 SVM10
07:22:00 route SVM10 SVM106
07:24:00 route SVM6 SVM2
07:25:00 route SVM2 SVM100
