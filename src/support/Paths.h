#pragma once

#include <QString>

// Local paths. Paths of the instrument PC are written the Windows way in the program's
// defaults; these helpers give the local form on the platform it runs on. Remote OS-9
// paths never pass through here: they always use "/".
namespace vantor::paths {

// A default rooted at a drive ("C:\CorvaneOS9\Backup") stays so on Windows and moves under
// the home folder elsewhere (~/CorvaneOS9/Backup). Other defaults only get local separators.
QString localDefault(const QString& windowsPath);

// folder + separator + name with the local separator and never a doubled one. An empty
// folder gives the name alone.
QString join(const QString& folder, const QString& name);

// Removes trailing separators, but keeps a root ("/", "C:\") whole.
QString stripTrailingSeparator(const QString& path);

// The folder that holds `path` (trailing separators ignored); a root is its own parent;
// empty for a bare name.
QString parentFolder(const QString& path);

// The fixed place of the ion-beam guard module's local copy: "c:\ionkill" on Windows,
// "ionkill" in the system temporary folder elsewhere. Anyone may plant a file or a link
// under such a name, so the restore does not write there: it keeps its copy in a folder of
// its own.
QString ionkillLocalFile();

// The folder of the program file.
QString programFolder();

// True for a name that can only create a file inside the folder it is joined to. False for
// "", ".", "..", names with "/" or "\", and names with control characters; on Windows also
// for names with a drive or stream colon or a character Windows refuses in names.
bool isPlainRemoteName(const QString& name);

// Names on the controller are byte strings, held one character per byte (as the FTP
// client reads and sends them). Between them and local file names the local file-name
// encoding converts, both ways, as the FTP client does for the names it derives itself:
// "été.bin" on disk goes out as the bytes it has on disk, not as Latin-1.
QString remoteNameFor(const QString& localName);
QString localNameFor(const QString& remoteName);

// The path with the local separators.
QString toNative(const QString& path);

// `path` as an absolute local path: as it stands when it is absolute, else below `base`
// (itself absolute), with "." and ".." resolved. Whatever its first character, a name is
// a name here: ":x" is a file of `base`, never one of Qt's resources.
QString absoluteIn(const QString& base, const QString& path);

// The file `name` in `folder` (absolute), found whatever its letter case, so files copied
// from Windows ("QELMONITOR.INI") are found on a file system that tells cases apart. The
// exact spelling wins; with no such file the path of `name` as given.
QString fileInFolder(const QString& folder, const QString& name);

// True for an existing folder the program may enter (on Unix: one it may search).
bool isEnterableFolder(const QString& absolutePath);

} // namespace vantor::paths
