# Median first and second formant of a stretch of a sound file.
# Arguments: file, start and end time in seconds.
form Formants
    sentence file
    real start
    real end
endform
sound = Read from file: file$
# Five formants below 5.5 kHz, as for a woman's voice.
formant = To Formant (burg): 0, 5, 5500, 0.025, 50
f1 = Get quantile: 1, start, end, "hertz", 0.5
f2 = Get quantile: 2, start, end, "hertz", 0.5
writeInfoLine: fixed$(f1, 1), " ", fixed$(f2, 1)
