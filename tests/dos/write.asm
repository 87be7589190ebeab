; WRITE.COM: writes RESULT.TXT with a known line into the current folder, which is the folder
; of the program itself when it is started the usual way. The simplest proof that DOS ran it.
    org 100h
%include "dosfile.inc"
    writeFileAndExit fileName, text, textLength

fileName db "RESULT.TXT", 0
text db "WRITE.COM was here", 13, 10
textLength equ $ - text
