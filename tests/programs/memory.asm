; Self-checking program: LOAD, LOADI, STORE, STOREI, PUSH, PUSHI, POP, CALL, RET, MVSPL
; and MVSPH.

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; RAM is 0x1000..0x1FFF, ROM 0..0xFFF; 0x2000 and above are unmapped.
        MOVEL   R3,H#1100%
        MOVEL   R4,H#1234%
        STORE   R3,R4
        LOAD    R1,R3,R0
        CALL    R9
        DW      H#1234
        MOVEL   R5,H#1000%
        MOVEL   R6,H#100%
        LOAD    R1,R5,R6        ; address a + b
        CALL    R9
        DW      H#1234
        LOADI   R1,R5,H#100     ; address a + imm
        CALL    R9
        DW      H#1234
        MOVEL   R7,H#1101%
        LOADI   R1,R7,H#FFFF    ; a negative offset
        CALL    R9
        DW      H#1234
        STOREI  R3,-2           ; the stored value is sign-extended
        LOADI   R1,R3,H#0
        CALL    R9
        DW      H#FFFFFFFE
        MOVEL   R10,rom_word%
        STORE   R10,R4          ; stores into ROM are dropped
        LOADI   R1,R10,H#0
        CALL    R9
        DW      H#CAFE
        LOADI   R1,R0,H#2000    ; unmapped reads give FFFFFFFF
        CALL    R9
        DW      H#FFFFFFFF
        MVSPL   H#1200%         ; a stack of our own
        PUSH    R4
        PUSHI   H#8001%         ; sign-extended
        POP     R1
        CALL    R9
        DW      H#FFFF8001
        POP     R1
        CALL    R9
        DW      H#1234
        PUSHI   H#77%           ; sp is back at 1200, so the word lands there
        LOADI   R1,R0,H#1200
        CALL    R9
        DW      H#77
        MOVEL   R11,sub%
        CALL    R11             ; sub returns its return address in R1
back:   CALL    R9
        DW      back
        MVSPH   H#1%            ; sp = 00010000 (unmapped: pushes are lost)
        PUSH    R4
        POP     R1
        MVSPL   H#1F00%         ; back to RAM before the check calls
        CALL    R9
        DW      H#FFFFFFFF
        JUMPI   done%

sub:    POP     R1              ; the return address
        PUSH    R1
        RET

rom_word: DW    H#CAFE
done:

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
