# A signaller's first minutes at Vellmoor: routes set along the Down main, a points key
# tried under a locked route, routes cancelled, and a route refused for a conflict.
06:00:05 route SVM1 SVM3
06:00:10 route SVM3 SVM101
06:00:20 route SVM11 SVM15
06:00:30 points P503 reverse
06:01:00 cancel SVM3
06:01:30 points P507 reverse
06:02:00 route SVM12 SVM10
06:02:05 route SVM11 SVM13
06:03:00 points P507 normal
06:03:30 cancel SVM11
06:04:00 route SVM11 SVM13
