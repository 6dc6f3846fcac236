; Tervik demo: "Hello, world" on the terminal.
; The terminal prints a line on the console when it receives a line feed (10).

TERMINAL EQU    H#7000          ; DATA register of the terminal in default.map

start:  MOVEL   R1,text%        ; R1 walks through the text
        MOVEL   R2,TERMINAL%
next:   LOADI   R3,R1,H#0       ; the next character
        BZEI    R3,done%        ; a zero word ends the text
        STORE   R2,R3           ; send it
        ADDI    R1,R1,H#1
        JUMPI   next%
done:   STOREI  R2,'\n'         ; end the line: the terminal prints it
halt:   JUMPI   halt%           ; jumping to itself: the program ends here

text:   DW      "Hello, world", 0
