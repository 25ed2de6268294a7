# Signal 1 clicked once (its red lamp): it becomes the entrance.
07:00:20 click 7 20 left
