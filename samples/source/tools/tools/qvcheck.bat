@echo off
rem Lists every file of the installed product.
dir /s /b "%~dp0.."
pause
