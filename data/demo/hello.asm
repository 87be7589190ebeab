; HELLO.COM, the program of the demo: greets on the DOS screen, leaves HELLO.TXT in its own
; folder as proof that it ran, then keeps the greeting on screen for three seconds or until a
; key is pressed, so that it can be read when DOSBox runs in a window.
    org 100h

    mov dx, greeting
    mov ah, 09h
    int 21h

    mov ah, 3Ch
    xor cx, cx
    mov dx, fileName
    int 21h
    jc failed
    mov bx, ax
    mov ah, 40h
    mov cx, greetingLength
    mov dx, greeting
    int 21h
    jc failed
    mov ah, 3Eh
    int 21h

    ; The BIOS tick count at 0040:006C goes up 18.2 times a second.
    push ds
    mov ax, 40h
    mov es, ax
    mov bx, [es:6Ch]
waitForKey:
    mov ah, 01h
    int 16h
    jnz keyPressed
    mov ax, [es:6Ch]
    sub ax, bx
    cmp ax, 55
    jb waitForKey
    jmp done
keyPressed:
    xor ah, ah
    int 16h
done:
    pop ds
    mov ax, 4C00h
    int 21h
failed:
    mov ax, 4C01h
    int 21h

fileName db "HELLO.TXT", 0
greeting db "Hello from MS-DOS!", 13, 10
         db "HELLO.COM ran inside DOSBox, started by Tolvarn.", 13, 10
greetingLength equ $ - greeting
         db "$"
