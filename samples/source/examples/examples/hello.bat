@echo off
rem An example: prints the lines of the example data.
for /f "usebackq tokens=1,2 delims=;" %%a in ("%~dp0data.csv") do echo %%a: %%b
pause
