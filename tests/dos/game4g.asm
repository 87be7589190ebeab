; GAME4G.EXE: looks like a DOS/4G program to the launcher, which searches the start of an
; executable for the extender's name (here in the stub's message, as in real ones). Run
; directly, without any extender, it writes DIRECT.TXT into the current folder.
%include "mz.inc"
%include "dosfile.inc"
MZ_HEADER start

stubMessage db "This program needs the DOS/4G extender.", 13, 10, "$"

start:
    mov ax, cs
    mov ds, ax
    writeFileAndExit fileName, text, textLength

fileName db "DIRECT.TXT", 0
text db "GAME4G.EXE ran without an extender", 13, 10
textLength equ $ - text

MZ_END
