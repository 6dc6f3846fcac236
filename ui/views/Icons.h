// The tool bar's 16 x 16 icons, drawn by the program itself.
#pragma once

#include <QIcon>

enum class ToolIconKind {
  Exit,
  Reset,
  JumpToCursor,
  TraceInto,
  Run,
  Stop,
  StepOver,
  StepOut,
  RunToCursor,
  Breakpoints
};

QIcon ToolIcon(ToolIconKind kind);
