# Pitch of a sound file every 5 ms: one line per frame, time and Hz (0 where
# praat hears no voicing), for a woman's voice (pitch floor 150 Hz: a short
# window that follows quick moves). Argument: the file.
form Pitch frames
    sentence file
endform
sound = Read from file: file$
pitch = To Pitch (ac): 0.005, 150, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 1000
frames = Get number of frames
for i to frames
    t = Get time from frame number: i
    f = Get value in frame: i, "Hertz"
    if f = undefined
        f = 0
    endif
    appendInfoLine: fixed$(t, 4), " ", fixed$(f, 2)
endfor
