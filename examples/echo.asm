; Tervik demo: a terminal that echoes what is typed, after a prompt.
; Open the Board window (Window menu), run the program, click the terminal and type: every
; key comes back, and each line you end with Return gets a new prompt. Ctrl+D (4) ends the
; program. Headless: tervik-run --input 'hello' followed by a line feed and a 4.

TERM_DATA       EQU     H#7000
TERM_STATUS     EQU     H#7001
TERM_RXDATA     EQU     H#7004
RXREADY         EQU     H#4             ; STATUS bit: a received character waits
END_OF_INPUT    EQU     4

start:  MOVEL   R2,TERM_DATA%
        MOVEL   R4,TERM_RXDATA%
prompt: MOVEL   R1,text%                ; R1 walks through the prompt
next:   LOADI   R3,R1,H#0
        BZEI    R3,wait%                ; a zero word ends it
        STORE   R2,R3
        ADDI    R1,R1,H#1
        JUMPI   next%
wait:   LOADI   R5,R0,TERM_STATUS       ; wait for a key
        ANDI    R5,R5,RXREADY
        BZEI    R5,wait%
        LOADI   R3,R4,H#0               ; the key...
        STOREI  R4,0                    ; ...taken out of the receive buffer
        SUBBI   R5,R3,END_OF_INPUT
        BZEI    R5,done%
        STORE   R2,R3                   ; echo it
        SUBBI   R5,R3,H#A               ; a line feed: the line is done, prompt again
        BNZEI   R5,wait%
        JUMPI   prompt%
done:   STOREI  R2,'\n'                 ; end the last line
halt:   JUMPI   halt%

text:   DW      "> ", 0
