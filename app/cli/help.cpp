// What --help prints: every command, option and exit status.

#include "app/cli/command_line.h"

namespace nimbra::ui {

const char* commandLineHelp() {
  return R"(Usage: "Nimbra Setup" COMMAND [OPTIONS]

Installs the Nimbra plug-in for Grasshopper into Rhino 7 and Rhino 8 without a
window, as the window does: the same checks, backups and messages.

Commands:
  --install          install into every Rhino found, or into those named below;
                     where this version is installed whole, nothing is done
  --uninstall        move the installed copies into a new backup folder
  --restore [FOLDER] put back what a backup folder holds (the newest complete one
                     when none is named), after moving what is there now into a
                     new backup folder
  --check            say, changing nothing, whether an install would change
                     anything: up to date, older, newer, changed, not installed;
                     with --uninstall or --restore, whether that one would
  --recover          only put back an installation that was cut off
  --list             list the Rhino installations found and what is installed
  --help             show this text
  --version          show the Nimbra version this installer carries

Options:
  --rhino 7|8        only this Rhino version (may be given twice)
  --rhino-path PATH  the Rhino application at PATH (a folder ending in .app)
  --wait SECONDS     how long to wait for a running Rhino to quit (default 120)
  --no-quit          refuse at once while Rhino runs, instead of asking it to quit
  --no-open          leave Rhino closed after an install (default: open again what
                     was quit); an attempt that installs nothing always opens it again
  --reinstall        install even where this version is installed whole
  --keep-backups N   afterwards (or alone) remove the oldest finished backup
                     folders beyond the newest N; never one recovery may need
  --json             print one JSON object with the outcome instead of progress lines
  --all-users        as root: run the command for every person's account of the
                     machine, each in a process of that user's own
  --user NAME        as root: the same for this user only (may be repeated)

Exit status:
  0  done (installed, uninstalled, recovered or listed), or nothing to do
  1  refused or failed: the reason is on standard error
  2  the command line is not right
  3  Rhino is still running after the wait (at once with --no-quit)
  4  no Rhino 7 or 8 was found
  5  another installation is running: try again later
  6  --check found something the command would change
With --all-users or --user: 0 when every user's run ended 0, else the first
of 1, 2, 3, 5, 4, 6 that a user's run ended with.

Every install, uninstall and recovery is recorded in
~/Library/Application Support/Nimbra/Logs/install.log.
)";
}

}  // namespace nimbra::ui
