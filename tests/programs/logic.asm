; Self-checking program: OR, XOR, NOR, AND, NOT, their immediate forms, MOVE, the bit
; instructions, MOVEL, MOVEH and MVNZCOU.

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; Logic results set N and Z and clear C and O; several checks start with C set (the ADDI that
; wraps -1 to 0) to prove it. Flags: N 1, Z 2, C 4, O 8.
        MOVEL   R3,H#0F0F%
        MOVEL   R4,H#00FF%
        MOVEL   R13,-1%
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1     ; C = 1, Z = 1
        OR      R1,R3,R4
        MVNZCOU R2
        CALL    R9
        DW      H#0FFF
        MOVE    R1,R2
        CALL    R9
        DW      0               ; C cleared
        XOR     R1,R3,R4
        CALL    R9
        DW      H#0FF0
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1
        NOR     R1,R3,R4
        MVNZCOU R2
        CALL    R9
        DW      H#FFFFF000
        MOVE    R1,R2
        CALL    R9
        DW      1               ; N only
        AND     R1,R3,R4
        CALL    R9
        DW      H#000F
        AND     R1,R3,R0
        MVNZCOU R2
        MOVE    R1,R2
        CALL    R9
        DW      2               ; Z only
        NOT     R1,R4
        CALL    R9
        DW      H#FFFFFF00
        ORI     R1,R0,H#8000    ; the immediate is sign-extended
        CALL    R9
        DW      H#FFFF8000
        ANDI    R1,R13,H#FF00   ; masks with FFFFFF00, not 0000FF00
        CALL    R9
        DW      H#FFFFFF00
        XORI    R1,R3,H#FFFF
        CALL    R9
        DW      H#FFFFF0F0
        NORI    R1,R0,H#0
        CALL    R9
        DW      H#FFFFFFFF
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1     ; C = 1
        NOTI    R1,H#0          ; keeps C, unlike NOT
        MVNZCOU R2
        CALL    R9
        DW      H#FFFFFFFF
        MOVE    R1,R2
        CALL    R9
        DW      5               ; N and C
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1
        NOT     R1,R0
        MVNZCOU R2
        MOVE    R1,R2
        CALL    R9
        DW      1               ; NOT clears C
        MOVEL   R14,33%
        BITSET  R1,R0,R14       ; bit 33 AND 31 = 1
        CALL    R9
        DW      2
        MOVEL   R15,31%
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1     ; sr = Z + C
        BITCLEAR R1,R13,R15     ; leaves sr as it was
        MVNZCOU R2
        CALL    R9
        DW      H#7FFFFFFF
        MOVE    R1,R2
        CALL    R9
        DW      6
        MOVEL   R16,1%
        BITCLEARI R1,R16,H#0%   ; sets Z, unlike BITCLEAR
        MVNZCOU R2
        CALL    R9
        DW      0
        MOVE    R1,R2
        CALL    R9
        DW      2
        BITSETI R1,R0,31
        CALL    R9
        DW      H#80000000
        MOVEL   R1,-1%
        MOVEH   R1,H#1234%      ; replaces the whole register
        CALL    R9
        DW      H#12340000
        MOVEL   R1,1%           ; sr = 0
        MVNZCOU R2              ; R2 = 0, then sr = Z
        MVNZCOU R1              ; R1 = 2
        CALL    R9
        DW      2
        MOVE    R1,R2
        CALL    R9
        DW      0

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
