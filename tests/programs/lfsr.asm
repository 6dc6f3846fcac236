; Self-checking program: the shift register (RANDOMSET, RANDOMSETI, RANDOMIZE).

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; The shift register advances once at the start of every step, before the instruction.
        MOVEL   R3,1%
        RANDOMSET R3            ; lfsr = 1
        RANDOMIZE R1            ; advanced once: 2
        CALL    R9
        DW      2
        RANDOMSETI H#1%
        RANDOMIZE R1
        RANDOMIZE R2            ; one more step: 4
        CALL    R9
        DW      2
        MOVE    R1,R2
        CALL    R9
        DW      4
        MOVEH   R3,H#8000%
        RANDOMSET R3
        RANDOMIZE R1            ; the top bit feeds back into bits 31, 6, 5, 1, 0
        MVNZCOU R2
        CALL    R9
        DW      H#80000063
        MOVE    R1,R2
        CALL    R9
        DW      1               ; RANDOMIZE sets N and Z like a logic result
        ORI     R3,R3,H#21
        RANDOMSET R3            ; 80000021 is a fixed point
        NOP
        NOP
        RANDOMIZE R1
        CALL    R9
        DW      H#80000021
        RANDOMSETI H#FFFF%      ; sign-extended: FFFFFFFF
        RANDOMIZE R1
        CALL    R9
        DW      H#7FFFFF9D
        RANDOMSETI H#0%         ; 0 stays 0
        RANDOMIZE R1
        MVNZCOU R2
        MOVE    R1,R2
        CALL    R9
        DW      2

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
