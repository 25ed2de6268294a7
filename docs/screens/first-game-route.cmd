# Signal 1 clicked, then signal 3: the route into Ostwick platform 1.
07:00:20 click 7 20 left
07:00:24 click 29 20 left
