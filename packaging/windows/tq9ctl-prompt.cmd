@echo off
rem The bench's command prompt: tq9ctl on the PATH, in the bench directory.
set "PATH=%~dp0;%PATH%"
set "bench="
for /f "usebackq delims=" %%d in ("%~dp0bench-directory.txt") do if not defined bench call set "bench=%%d"
if defined bench cd /d "%bench%"
tq9ctl --version
echo tq9ctl --help lists the commands; the bench's files are in %CD%
