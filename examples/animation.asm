; Tervik demo: a colour sweep on the 64 x 32 pixel display.
; Column by column, one every 2000 steps (the timer's flag), the program paints a gradient:
; red grows from left to right, blue falls, green grows downwards. Open the Board window
; (Window menu) to watch it; tervik-run --dump-display writes the picture it ends with.

DISPLAY         EQU     H#6000          ; pixel (x, y) at DISPLAY + y * WIDTH + x
WIDTH           EQU     64
HEIGHT          EQU     32
TIMER_COMPARE   EQU     H#7013
TIMER_FLAG      EQU     H#7014

start:  MOVEL   R1,TIMER_COMPARE%
        STOREI  R1,20                   ; a column every 20 timer counts
        MOVEL   R2,TIMER_FLAG%
        MOVEL   R10,0%                  ; x
column: MOVEL   R11,0%                  ; y
        SLLI    R12,R10,H#2             ; x * 4
        SLLI    R13,R12,H#7             ; red = x * 4 (a shift takes 0 to 7 places:
        SLLI    R13,R13,H#7             ; 16 are three of them)
        SLLI    R13,R13,H#2
        MOVEL   R14,H#FC%
        SUBB    R14,R14,R12             ; blue = 252 - x * 4
        OR      R13,R13,R14
        MOVEL   R15,DISPLAY%
        ADD     R15,R15,R10             ; the column's top pixel
pixel:  SLLI    R16,R11,H#7             ; green = y * 8
        SLLI    R16,R16,H#4
        OR      R17,R13,R16
        STORE   R15,R17
        ADDI    R15,R15,WIDTH           ; the pixel below
        ADDI    R11,R11,H#1
        SUBBI   R18,R11,HEIGHT
        BNZEI   R18,pixel%
wait:   LOADI   R18,R2,H#0              ; wait for the timer's flag
        BZEI    R18,wait%
        STOREI  R2,1                    ; writing 1 clears it
        ADDI    R10,R10,H#1
        SUBBI   R18,R10,WIDTH
        BNZEI   R18,column%
halt:   JUMPI   halt%                   ; the picture is done
