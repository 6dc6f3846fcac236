; Tervik demo: counts in R1 and stores each count into RAM at 0x1000..0x10FF.
; Load counter.lst with "Load LST file" (Ctrl+L), then Reset, Trace into (F7) or Run (F9).
; It never ends: stop it with Stop, or give tervik-run a step limit.

start:  MOVEL   R1,H#0%         ; clear the counter
        MOVEL   R2,H#1000%      ; R2 walks through the first 256 RAM words
loop:   ADDI    R1,R1,H#1       ; count
        STORE   R2,R1           ; store the count
        ADDI    R2,R2,H#1       ; next word
        ANDI    R2,R2,H#10FF    ; wrap within 0x1000..0x10FF
        JUMPI   loop            ; and again
