; Tervik demo: a stopwatch on the seven-segment display, driven by the timer.
; The timer counts every 100 steps (its parameter in default.map); every TENTH counts the
; program adds a tenth to the four digits (seconds with a decimal point, then tenths), so its
; "seconds" are a million instruction steps. Any push button of the GPIO sets it back to 0.
; Open the Board window (Window menu) to watch it. It never ends: stop it with Stop.

TIMER_COMPARE   EQU     H#7013
TIMER_FLAG      EQU     H#7014
SEG_DIGIT0      EQU     H#7030
SEG_HEXMODE     EQU     H#7038
GPIO_BUTTONS    EQU     H#7025
TENTH           EQU     1000            ; timer counts per tenth: 100000 steps

start:  MOVEL   R1,TIMER_COMPARE%
        STOREI  R1,TENTH                ; the flag rises every TENTH counts
        MOVEL   R2,TIMER_FLAG%
        MOVEL   R1,SEG_HEXMODE%
        STOREI  R1,H#F                  ; digits 0 to 3 show their values as digits
        MOVEL   R3,SEG_DIGIT0%          ; R3 to R6: the digits' registers
        ADDI    R4,R3,H#1
        ADDI    R5,R3,H#2
        ADDI    R6,R3,H#3
clear:  MOVEL   R10,0%                  ; tenths
        MOVEL   R11,0%                  ; seconds
        MOVEL   R12,0%                  ; tens of seconds
        MOVEL   R13,0%                  ; hundreds of seconds
show:   STORE   R3,R10
        ORI     R7,R11,H#80             ; the point after the seconds
        STORE   R4,R7
        STORE   R5,R12
        STORE   R6,R13
wait:   LOADI   R8,R0,GPIO_BUTTONS      ; a button held: back to 0
        BNZEI   R8,clear%
        LOADI   R8,R2,H#0               ; poll the timer's flag
        BZEI    R8,wait%
        STOREI  R2,1                    ; writing 1 clears the flag
        ADDI    R10,R10,H#1             ; count a tenth, carrying at 10
        SUBBI   R8,R10,H#A
        BNZEI   R8,show%
        MOVEL   R10,0%
        ADDI    R11,R11,H#1
        SUBBI   R8,R11,H#A
        BNZEI   R8,show%
        MOVEL   R11,0%
        ADDI    R12,R12,H#1
        SUBBI   R8,R12,H#A
        BNZEI   R8,show%
        MOVEL   R12,0%
        ADDI    R13,R13,H#1
        SUBBI   R8,R13,H#A
        BNZEI   R8,show%
        MOVEL   R13,0%                  ; 999.9 goes round to 0
        JUMPI   show%
