# Route 1-3 set, then signal 1 clicked again: its marker on the white track of the route.
07:00:20 route SVM1 SVM3
07:00:40 click 7 20 left
