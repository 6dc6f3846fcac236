; counter.asm: starts the counter at 0x7100, lets two steps go by,
; stops it and keeps the count in R1
        MOVEL  R2,0x7100       ; the counter's COUNT word
        STOREI R2,0            ; COUNT = 0 (into memory[R2])
        ADDI   R3,R2,1         ; CONTROL
        STOREI R3,1            ; start
        NOP
        NOP
        STOREI R3,0            ; stop
        LOAD   R1,R2,R0        ; R1 = COUNT
done:   JUMPI  done
