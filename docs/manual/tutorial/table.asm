; A table of three words and a loop that adds them
count   EQU   3
        ORG   0
start:  MOVEL R1,table        ; R1 walks through the table
        MOVEL R2,count        ; words left
        MOVEL R3,0            ; the sum
next:   LOAD  R4,R1,R0        ; R0 is 0: R4 = memory[R1]
        ADD   R3,R3,R4
        ADDI  R1,R1,1
        SUBBI R2,R2,1
        BNZEI R2,next         ; a label: the offset back to 'next'
stop:   JUMPI stop
        ORG   0x20
table:  DW    5, 0x10, 'A'    ; 5, 16 and 65
text:   DW    "Hi"            ; one word per character
size    EQU   text-table      ; 3
