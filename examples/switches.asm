; Tervik demo: the GPIO's switches on its LEDs.
; Open the Board window (Window menu), run the program and flip the switches with the mouse:
; each LED follows its switch. Holding a push button lights LEDs 12 to 15 (BTN0 to BTN3).
; It never ends: stop it with Stop, or give tervik-run a step limit (and --set-switches).

GPIO_LEDS       EQU     H#7020
GPIO_SWITCHES   EQU     H#7021
GPIO_BUTTONS    EQU     H#7025

start:  MOVEL   R2,GPIO_LEDS%
loop:   LOADI   R1,R0,GPIO_SWITCHES     ; the switches (R0 is 0)
        LOADI   R3,R0,GPIO_BUTTONS      ; the buttons, bits 0 to 3
        SLLI    R3,R3,H#C               ; on LEDs 12 to 15
        OR      R1,R1,R3
        STORE   R2,R1                   ; the GPIO reports each change on the console
        JUMPI   loop%
