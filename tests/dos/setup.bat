@echo off
rem Runs WRITE.COM, then leaves a mark of its own, which shows that control came back to
rem the batch file after the program ended.
WRITE
echo setup.bat finished>BATCH.TXT
