# Median first and second formant of a stretch of a sound file.
# Arguments: file, start and end time in seconds.
form Formants
    sentence file
    real start
    real end
endform
sound = Read from file: file$
# Four formants below 5 kHz: the voice has little energy above that, and a
# fifth pole would be spent on the harmonics of a high voice.
formant = To Formant (burg): 0, 4, 5000, 0.025, 50
f1 = Get quantile: 1, start, end, "hertz", 0.5
f2 = Get quantile: 2, start, end, "hertz", 0.5
writeInfoLine: fixed$(f1, 1), " ", fixed$(f2, 1)
