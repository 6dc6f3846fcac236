; Three words in a table, added in a loop
count   EQU   3
        ORG   0
start:  MOVEL R1,table  ; walks the table
        MOVEL R2,count  ; words left
        MOVEL R3,0      ; the sum
next:   LOAD  R4,R1,R0  ; R0 is 0: M[R1]
        ADD   R3,R3,R4
        ADDI  R1,R1,1
        SUBBI R2,R2,1
        BNZEI R2,next   ; back to 'next'
stop:   JUMPI stop
        ORG   0x20
table:  DW    5, 0x10, 'A' ; 5, 16, 65
text:   DW    "Hi"      ; 'H', 'i'
size    EQU   text-table ; 3
