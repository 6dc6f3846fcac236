; Self-checking program: ADD, SUBB, ADDI and SUBBI with the carry (borrow), overflow,
; negative and zero flags.

start:  MVSPL   H#1F00%         ; the stack, in RAM
        MOVEL   R9,check%
        MOVEL   R30,0%

; Each check computes R1 and captures the flags in R2 (N 1, Z 2, C 4, O 8).
        MOVEL   R13,-1%         ; FFFFFFFF
        MOVEL   R14,1%
        MOVEH   R15,H#8000%     ; 80000000
        SRLI    R16,R13,H#1     ; 7FFFFFFF
        ADD     R1,R13,R14      ; carry out, result 0
        MVNZCOU R2
        CALL    R9
        DW      0
        MOVE    R1,R2
        CALL    R9
        DW      6
        MOVEH   R3,H#7FFF%
        MOVEH   R4,H#0001%
        ADD     R1,R3,R4        ; signed overflow into the sign bit
        MVNZCOU R2
        CALL    R9
        DW      H#80000000
        MOVE    R1,R2
        CALL    R9
        DW      9
        ADD     R1,R15,R13      ; carry and overflow
        MVNZCOU R2
        CALL    R9
        DW      H#7FFFFFFF
        MOVE    R1,R2
        CALL    R9
        DW      12
        ADD     R1,R15,R14
        MVNZCOU R2
        CALL    R9
        DW      H#80000001
        MOVE    R1,R2
        CALL    R9
        DW      1
        SUBB    R1,R0,R14       ; 0 - 1 borrows
        MVNZCOU R2
        CALL    R9
        DW      H#FFFFFFFF
        MOVE    R1,R2
        CALL    R9
        DW      5
        SUBB    R1,R14,R0
        MVNZCOU R2
        CALL    R9
        DW      1
        MOVE    R1,R2
        CALL    R9
        DW      0
        SUBB    R1,R15,R14      ; 80000000 - 1 overflows
        MVNZCOU R2
        CALL    R9
        DW      H#7FFFFFFF
        MOVE    R1,R2
        CALL    R9
        DW      8
        SUBB    R1,R16,R13      ; 7FFFFFFF - FFFFFFFF: borrow and overflow
        MVNZCOU R2
        CALL    R9
        DW      H#80000000
        MOVE    R1,R2
        CALL    R9
        DW      13
        MOVEL   R3,5%
        SUBB    R1,R3,R3
        MVNZCOU R2
        MOVE    R1,R2
        CALL    R9
        DW      2
        MOVEL   R3,10%
        ADDI    R1,R3,H#FFFF    ; adds -1
        MVNZCOU R2
        CALL    R9
        DW      9
        MOVE    R1,R2
        CALL    R9
        DW      4
        MOVEL   R3,3%
        SUBBI   R1,R3,5
        MVNZCOU R2
        CALL    R9
        DW      -2
        MOVE    R1,R2
        CALL    R9
        DW      5
        SUBBI   R1,R3,-2        ; 3 - (-2) = 5 and a borrow (3 < FFFFFFFE)
        MVNZCOU R2
        CALL    R9
        DW      5
        MOVE    R1,R2
        CALL    R9
        DW      4
        MOVEL   R12,-1%
        ADDI    R12,R12,H#1     ; C = 1
        SUBB    R1,R14,R0       ; 1 - 0: no borrow in, whatever C was
        CALL    R9
        DW      1

        MOVEL   R31,H#600D%
        JUMPI   pass%

        INCLUDE "check.inc"     ; check, pass and fail
