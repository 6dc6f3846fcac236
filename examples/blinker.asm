; Tervik demo: a timer-driven LED blinker.
; The timer counts every 100 steps (its parameter in default.map); each time its counter
; reaches COMPARE it raises FLAG and starts again from 0. On every flag the program toggles
; LED 0 of the GPIO module, which reports each change on the console. After three blinks
; (six toggles) it ends.

TIMER_COMPARE   EQU     H#7013
TIMER_FLAG      EQU     H#7014
GPIO_TOGGLE     EQU     H#7024
PERIOD          EQU     20              ; timer counts between flags: 2000 steps
TOGGLES         EQU     6

start:  MOVEL   R1,TIMER_COMPARE%
        STOREI  R1,PERIOD               ; the flag rises every PERIOD counts
        MOVEL   R2,TIMER_FLAG%
        MOVEL   R3,GPIO_TOGGLE%
        MOVEL   R4,TOGGLES%             ; toggles still to do
wait:   LOADI   R5,R2,H#0               ; poll the flag
        BZEI    R5,wait%
        STOREI  R2,1                    ; writing 1 clears the flag
        STOREI  R3,1                    ; toggle LED 0
        SUBBI   R4,R4,H#1
        BNZEI   R4,wait%
halt:   JUMPI   halt%                   ; the LED is off again: done
