; WRITE.COM: writes RESULT.TXT with a known line into the current folder, which is the folder
; of the program itself when it is started the usual way. The simplest proof that DOS ran it.
    org 100h
%include "dosfile.inc"

    mov dx, fileName
    mov si, text
    mov cx, textLength
    call writeFile
    jc failed
    exitWith 0
failed:
    exitWith 1

FILE_HELPERS

fileName db "RESULT.TXT", 0
text db "WRITE.COM was here", 13, 10
textLength equ $ - text
