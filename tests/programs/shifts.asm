; Self-checking program: ROR, SLL, SRL, SRA and their immediate forms.

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; Counts are the low three bits of the operand: 8 shifts by 0, 9 by 1.
        MOVEL   R3,1%
        MOVEL   R4,8%
        MOVEL   R5,9%
        MOVEL   R6,4%
        MOVEL   R7,12%
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1     ; C = 1
        SLL     R1,R3,R4        ; count 0: unchanged, but C and O cleared
        MVNZCOU R2
        CALL    R9
        DW      1
        MOVE    R1,R2
        CALL    R9
        DW      0
        SLL     R1,R3,R5
        CALL    R9
        DW      2
        ROR     R1,R3,R3        ; 1 rotated right by 1
        MVNZCOU R2
        CALL    R9
        DW      H#80000000
        MOVE    R1,R2
        CALL    R9
        DW      1
        MOVEH   R10,H#1234%
        ORI     R10,R10,H#5678
        ROR     R1,R10,R6
        CALL    R9
        DW      H#81234567
        ROR     R1,R10,R7       ; 12 AND 7 = 4
        CALL    R9
        DW      H#81234567
        ROR     R1,R10,R4
        CALL    R9
        DW      H#12345678
        MOVEH   R11,H#8000%
        MOVEL   R13,7%
        SRA     R1,R11,R13
        CALL    R9
        DW      H#FF000000
        SRL     R1,R11,R13
        CALL    R9
        DW      H#01000000
        SRL     R1,R3,R3        ; shifted out: zero
        MVNZCOU R2
        MOVE    R1,R2
        CALL    R9
        DW      2
        RORI    R1,R10,H#4
        CALL    R9
        DW      H#81234567
        RORI    R1,R10,H#C
        CALL    R9
        DW      H#81234567
        SLLI    R1,R10,H#4
        CALL    R9
        DW      H#23456780
        SLLI    R1,R10,H#8      ; count 0
        CALL    R9
        DW      H#12345678
        SRLI    R1,R11,H#7
        CALL    R9
        DW      H#01000000
        SRAI    R1,R11,H#7
        CALL    R9
        DW      H#FF000000
        SRAI    R1,R11,H#F      ; count 7
        CALL    R9
        DW      H#FF000000

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
