; Self-checking program: the relative and absolute branches and jumps, with register and
; immediate offsets and targets, taken and not taken.

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; A taken branch skips the JUMPI to fail behind it; a branch that must not be taken jumps to
; fail itself. R30 numbers the checks.
        MOVEL   R3,0%           ; zero
        MOVEL   R4,5%           ; positive
        MOVEH   R5,H#8000%      ; negative
        MOVEL   R6,2%           ; relative offset: skip one word
        MOVEL   R30,1%
        BZE     R3,R6
        JUMPI   fail%
        BZE     R4,R6           ; not taken: continues with the next word
        JUMPI   b1%
        JUMPI   fail%
b1:     MOVEL   R30,2%
        BNZE    R4,R6
        JUMPI   fail%
        BNZE    R3,R6
        JUMPI   b2%
        JUMPI   fail%
b2:     MOVEL   R30,3%
        BNE     R5,R6           ; bit 31 set
        JUMPI   fail%
        BNE     R4,R6
        JUMPI   b3%
        JUMPI   fail%
b3:     MOVEL   R30,4%
        JUMP    R6
        JUMPI   fail%
        MOVEL   R30,5%
        MOVEL   R7,b5%
        BrZE    R3,R7
        JUMPI   fail%
b5:     BrZE    R4,R10          ; not taken (R10 would be 0)
        MOVEL   R30,6%
        MOVEL   R7,b6%
        BrNZE   R4,R7
        JUMPI   fail%
b6:     BrNZE   R3,R10
        MOVEL   R30,7%
        MOVEL   R7,b7%
        BrNE    R5,R7
        JUMPI   fail%
b7:     BrNE    R4,R10
        MOVEL   R30,8%
        MOVEL   R7,b8%
        JUMPr   R7
        JUMPI   fail%
b8:     MOVEL   R30,9%
        BZEI    R3,b9%
        JUMPI   fail%
b9:     BZEI    R4,fail%
        MOVEL   R30,10%
        BNZEI   R4,b10%
        JUMPI   fail%
b10:    BNZEI   R3,fail%
        MOVEL   R30,11%
        BNEI    R5,b11%
        JUMPI   fail%
b11:    BNEI    R4,fail%
        MOVEL   R30,12%
        BrZEI   R3,b12%
        JUMPI   fail%
b12:    BrZEI   R4,fail%
        MOVEL   R30,13%
        BrNZEI  R4,b13%
        JUMPI   fail%
b13:    BrNZEI  R3,fail%
        MOVEL   R30,14%
        BrNEI   R5,b14%
        JUMPI   fail%
b14:    BrNEI   R4,fail%
        MOVEL   R30,15%
        JUMPrI  b15%
        JUMPI   fail%
b15:    MOVEL   R30,16%
        JUMPI   H#1%            ; offset 1: the next word
        MOVEL   R30,17%         ; a backward loop: three rounds
        MOVEL   R3,3%
        MOVEL   R1,0%
b17:    ADDI    R1,R1,H#1
        SUBBI   R3,R3,H#1
        BNZEI   R3,b17%
        CALL    R9
        DW      3
        MOVEL   R30,18%         ; a negative register offset jumps backwards
        MOVEL   R6,-2%
        MOVEL   R1,0%
        JUMPI   b18b%
b18a:   JUMPI   b18c%
        JUMPI   fail%
b18b:   JUMP    R6              ; to b18a
        JUMPI   fail%
b18c:   MOVEL   R30,18%

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
