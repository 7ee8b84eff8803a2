#pragma once

// Standard input, output or error that the caller closed (`>&-`) is opened again on /dev/null, the wrong
// way round: reading standard input and writing standard output or error then fail with "Bad file
// descriptor", as the closed descriptor would, and no descriptor the program opens later (a signalfd, an
// image, a temporary output) takes its number and receives the log or a library's warnings. The first
// call of `main`, before anything is opened.
void reopenClosedStandardStreams();
