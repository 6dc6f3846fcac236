; sum.asm: adds 10, 9, ... 1 and stores the sum at 0x1000
result  EQU  0x1000

start:  MOVEL  R1,10    ; next to add
        MOVEL  R2,0     ; the sum so far
loop:   ADD    R2,R2,R1 ; add it
        SUBBI  R1,R1,1  ; next number
        BNZEI  R1,loop  ; until 0
        MOVEL  R3,result
        STORE  R3,R2    ; store the sum
done:   JUMPI  done     ; stay here
