; A stand-in for the DOS32A extender, named dos32a.exe. An extender is started with the
; program's name as its command tail; this one only records that tail in C:\TAIL.TXT (as DOS
; handed it over, leading blank included) and ends, so that a test can see what it was asked
; to run. It deliberately runs nothing itself: a file written by the program would then mean
; the program was started directly, not through the extender.
%include "mz.inc"
%include "dosfile.inc"
MZ_HEADER start

start:
    ; On entry DS = ES = the PSP; the tail's length is at 80h and its bytes follow at 81h.
    mov ax, cs
    mov es, ax
    mov si, 81h
    mov di, tail
    xor cx, cx
    mov cl, [80h]
    mov [es:tailLength], cx
    cld
    rep movsb
    mov ds, ax

    mov dx, fileName
    mov si, tail
    mov cx, [tailLength]
    call writeFile
    jc failed
    exitWith 0
failed:
    exitWith 1

FILE_HELPERS

fileName db "C:\TAIL.TXT", 0
tailLength dw 0
tail times 128 db 0

MZ_END
