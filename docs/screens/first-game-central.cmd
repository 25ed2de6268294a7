# The first game's routes for 2D01: into Ostwick, out of it, and into Vellmoor Central
# platform 2.
07:00:20 route SVM1 SVM3
07:01:00 route SVM3 SVM101
07:01:30 route SVM101 SVM11
07:02:00 route SVM11 SVM15
