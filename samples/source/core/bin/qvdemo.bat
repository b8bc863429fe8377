@echo off
rem The program of the core subsystem: shows where it is and what the plug-in wrote.
echo Quorvalen Demo 1.0
echo Installed in %~dp0..
if exist "%~dp0..\sample_plugin.ini" (
  echo The sample plug-in's configuration:
  type "%~dp0..\sample_plugin.ini"
)
pause
