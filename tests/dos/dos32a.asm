; A stand-in for the DOS32A extender, named dos32a.exe (DOS goes by the contents, so a COM image
; will do). It records the command tail it was given (the program to run, leading blank
; included) in C:\TAIL.TXT and runs nothing itself: a file written by the program would then
; mean that the program was started directly, not through the extender.
    org 100h
%include "dosfile.inc"
    xor ax, ax
    mov al, [80h]           ; the tail's length; its bytes follow at 81h
    writeFileAndExit fileName, 81h, ax

fileName db "C:\TAIL.TXT", 0
