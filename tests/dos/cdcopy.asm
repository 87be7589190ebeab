; CDCOPY.COM: copies D:\CDFILE.TXT to C:\FROMCD.TXT in pieces, so it shows that drive D: (a
; CD image or a folder mounted as a CD) can be read and that C: can be written.
    org 100h
%include "dosfile.inc"

    mov dx, sourceName
    mov ax, 3D00h           ; open for reading
    int 21h
    jc failed
    mov [source], ax

    mov dx, targetName
    xor cx, cx
    mov ah, 3Ch
    int 21h
    jc failed
    mov [target], ax

copyPiece:
    mov bx, [source]
    mov dx, buffer
    mov cx, bufferSize
    mov ah, 3Fh
    int 21h
    jc failed
    test ax, ax
    jz copied
    mov cx, ax
    mov bx, [target]
    mov ah, 40h
    int 21h
    jc failed
    cmp ax, cx
    jne failed
    jmp copyPiece

copied:
    mov bx, [target]
    mov ah, 3Eh
    int 21h
    jc failed
    mov bx, [source]
    mov ah, 3Eh
    int 21h
    exitWith 0
failed:
    exitWith 1

FILE_HELPERS

sourceName db "D:\CDFILE.TXT", 0
targetName db "C:\FROMCD.TXT", 0
source dw 0
target dw 0
bufferSize equ 512
buffer:
