; Tervik demo: a checksum over a table in memory.
; For each word: rotate the checksum right by one bit, then XOR the word into it. The result
; ends in R1 and in the first RAM word (0x1000).

RESULT  EQU     H#1000

start:  MOVEL   R1,0%                   ; the checksum
        MOVEL   R2,table%               ; the next word
        MOVEL   R3,table_end-table%     ; words left
loop:   LOADI   R4,R2,H#0
        RORI    R1,R1,H#1
        XOR     R1,R1,R4
        ADDI    R2,R2,H#1
        SUBBI   R3,R3,H#1
        BNZEI   R3,loop%
        MOVEL   R5,RESULT%
        STORE   R5,R1
halt:   JUMPI   halt%

table:  DW      H#12345678, H#9ABCDEF0, 42, -1, 'T'
        DW      "TERVIK"
table_end:
