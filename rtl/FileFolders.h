#pragma once

#include <string>

namespace rtl {

// Where the program's own files live. A portable copy (an unpacked folder, a
// build) keeps everything beside its executable. An installed copy keeps the
// user's settings and prompt file in a folder of the user's own and reads the
// shipped files from the shared data folder, which the user cannot write.
struct FileFolders {
    // perchly.ini, perchly.db and the user's Message.ini; ends with '/'.
    std::string Settings;
    // The shipped Message.ini and Perchly.wav; ends with '/'. The same as
    // Settings in a portable copy.
    std::string SharedData;
    bool Portable = true;

    std::string SettingsFile() const { return Settings + "perchly.ini"; }
    std::string MessageFile() const { return Settings + "Message.ini"; }
    // What Perchly observes (each site's checks), beside the settings it
    // never puts at risk.
    std::string HealthFile() const { return Settings + "perchly.db"; }
    // Held by the copy of the program that runs on this settings folder.
    std::string LockFile() const { return Settings + "perchly.lock"; }
    // The user's own Perchly.wav when there is one, else the shipped one.
    std::string SoundFile() const;
    // The certificates the user trusts besides the system's (PEM files); ends
    // with '/'. It need not exist.
    std::string CertsFolder() const { return Settings + "certs/"; }
    // The user guide (HTML): beside a portable copy's executable, else in the
    // documentation folder next to the shared data folder
    // (/usr/share/doc/perchly/ for /usr/share/perchly/).
    std::string GuideFile() const;
};

// Everything in one folder (ending with '/').
FileFolders PortableFolders(const std::string& folder);

// What the decision reads from the process, so tests can hand in their own.
struct FolderEnvironment {
    std::string ExeFolder;      // the executable's folder, ending with '/'
    std::string XdgConfigHome;  // $XDG_CONFIG_HOME; empty when unset
    std::string Home;           // the user's home folder
};

// The one decision. Portable when the executable's folder holds Message.ini;
// otherwise the settings go to $XDG_CONFIG_HOME/perchly/ (a relative or empty
// $XDG_CONFIG_HOME is ignored, as the XDG base directory rules say) or
// ~/.config/perchly/, and the shared data folder is ../share/perchly/ beside the
// executable's folder when that exists (so /usr/local and staged installs work),
// else /usr/share/perchly/. Raises EInOutError when an installed copy finds no
// absolute home folder to keep the settings in.
FileFolders LocateFiles(const FolderEnvironment& environment);

// The running process's environment: its executable's folder, $XDG_CONFIG_HOME,
// and $HOME, or the password database's home when $HOME is unset or relative.
FolderEnvironment ProcessEnvironment();

// Creates the folder and every missing parent with mode 0700, as the XDG rules
// ask for folders a program makes for its own files. Raises EInOutError naming
// the folder and the reason.
void CreatePrivateFolders(const std::string& folder);

// Makes the settings folder ready. A portable copy is left exactly as it is.
// Otherwise missing folders are created with mode 0700, a folder that cannot be
// written is refused (nothing could be saved there), and the shipped Message.ini
// is copied in when the user has none, so the prompt file the user edits is the
// user's own. A shipped file that is missing too is no error here: the places
// that read the prompt file report it. Raises EInOutError naming the folder and
// the reason.
void PrepareSettingsFolder(const FileFolders& folders);

}  // namespace rtl
