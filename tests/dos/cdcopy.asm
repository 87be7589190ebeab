; CDCOPY.COM: copies D:\CDFILE.TXT (at most 512 bytes) to C:\FROMCD.TXT, so it shows that drive
; D: (a CD image or a folder mounted as a CD) can be read and that C: can be written.
    org 100h
%include "dosfile.inc"
    mov dx, sourceName
    mov ax, 3D00h           ; open for reading
    int 21h
    jc failed
    mov bx, ax
    mov dx, buffer
    mov cx, 512
    mov ah, 3Fh
    int 21h
    jc failed
    writeFileAndExit targetName, buffer, ax
failed:
    exitWith 1

sourceName db "D:\CDFILE.TXT", 0
targetName db "C:\FROMCD.TXT", 0
buffer:
