; Tervik demo: subroutines and the stack.
; fact computes R2 = R1! by calling itself for (R1 - 1)! and multiplying by repeated
; addition. Each call pushes its return address and the argument it must keep; the stack
; grows upwards from 0x1800 in RAM.

STACK   EQU     H#1800

start:  MVSPL   STACK%          ; sp: the next free stack word
        MOVEL   R9,fact%        ; CALL takes its target from a register
        MOVEL   R1,5%
        CALL    R9              ; R2 = 5! = 120 (0x78)
halt:   JUMPI   halt%           ; sp is back at 0x1800

; R2 = R1!, R1 kept; uses R3, R4.
fact:   BNZEI   R1,recurse%
        MOVEL   R2,1%           ; 0! = 1
        RET
recurse:
        PUSH    R1              ; keep the argument
        SUBBI   R1,R1,H#1
        CALL    R9              ; R2 = (R1 - 1)!
        POP     R1
        MOVE    R3,R2           ; R2 = R3 * R1, R1 >= 1
        MOVE    R4,R1
        MOVEL   R2,0%
mul:    ADD     R2,R2,R3
        SUBBI   R4,R4,H#1
        BNZEI   R4,mul%
        RET
