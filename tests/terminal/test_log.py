"""The run log from a real terminal and a Russian locale: the status word at
column 45 where the screen moves the cursor instead of padding, the block
written when Ctrl-C ends the key wait, and the ANSI code page in the file while
the console gets the OEM one."""
import os
import shutil
import subprocess

from termlib import ROOT, Checks, Pane, ProgramDir, parse_args, wine_env


def main():
    args = parse_args()
    checks = Checks()

    d = ProgramDir(args.exe, {"x.ini": "[Options]\r\nLogFile=run.log\r\nRun=missing.exe\r\nRunFlags=wine\r\n"})
    pane = Pane("wine vantorel.exe x.ini", wine_env(), d.path)
    try:
        pane.wait_for("Press any key to continue...")
        pane.send("C-c")
        pane.wait_for("[exit ")
        with open(os.path.join(d.path, "run.log"), "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        checks.expect("=> Loading missing.exe...".ljust(44) + "FAILED" in lines, f"status at column 45: {lines}")
        checks.expect(lines[-2].startswith("==== ended while waiting for a key (Ctrl-C), "), f"footer: {lines[-2:]}")
        checks.expect(not any("Press any key" in line for line in lines), "the prompt is not logged")
    finally:
        pane.close()
        d.cleanup()

    locpath = os.environ.get("VANTOREL_LOCPATH", os.path.join(ROOT, "build", "locale"))
    ru = ProgramDir(args.exe)
    try:
        shutil.copy(os.path.join(args.build_dir, "vantorel.rus"), os.path.join(ru.path, "vantorel.rus"))
        # No x.ini anywhere: the run fails at it, as the program is its own source.
        result = subprocess.run(["wine", "vantorel.exe", "--log", "run.log", "x.ini"], cwd=ru.path,
                                capture_output=True, env=wine_env(LANG="ru_RU.UTF-8", LOCPATH=locpath),
                                stdin=subprocess.DEVNULL, timeout=60)
        checks.expect("ОШИБКА: Новая версия файла" in result.stdout.decode("cp866"), "the console gets code page 866")
        with open(os.path.join(ru.path, "run.log"), "rb") as f:
            text = f.read().decode("cp1251")
        checks.expect("  компьютер " in text and "первый запуск\r\n" in text, f"header translated: {text!r}")
        checks.expect("    -> x.ini...".ljust(44) + "ОШИБКА\r\n" in text, f"status word translated: {text!r}")
        checks.expect("не найдена.\r\n==== код завершения 2, " in text,
                      f"the error and the footer in code page 1251: {text!r}")
    finally:
        ru.cleanup()
    checks.finish()


if __name__ == "__main__":
    main()
