# The release: the one file a vendor edits before building a release. Both builds read it (the
# win32 build's stubs and launchers, and the native setupkit); editing it makes CMake configure
# again at the next build. Another file may be named with -DSETUPTQ_RELEASE_FILE=/path/to/it.
# README.md, "Configure a release", says what each value does.

# The product code and version name the reply file on every mirror:
# brenlow/<code><version>ins.htm (version with one decimal, as the launcher prints it).
# Publishing replaces that one file, so a new build published under the same version makes every
# copy downloaded before fail its check: raise the version for every new build you publish.
set(SETUPTQ_PRODUCT_CODE "QORTQ")
set(SETUPTQ_PRODUCT_VERSION "3.6")
# The build number: the last two fields of the launcher's file version (its file properties and
# manifest), which begins with the product version: 3.6 and 8.12 make 3.6.8.12.
set(SETUPTQ_BUILD_NUMBER "8.12")

# The arguments that make the installer run without windows (for an NSIS installer "/S", for
# Inno Setup "/VERYSILENT /SUPPRESSMSGBOXES"), and the one that keeps it from restarting the
# computer itself ("/NORESTART"; empty when it never restarts on its own). A /quiet or /passive
# run of the launcher starts the installer with these first; a release that names none starts
# it with nothing added, and then shows the installer's own windows. The demo installer takes
# "/S" and never restarts.
set(SETUPTQ_INSTALLER_QUIET "/S")
set(SETUPTQ_INSTALLER_NORESTART "")

# The vendor's home page (the launcher's download link), a base URL "https://host/".
set(SETUPTQ_HOME_PAGE "https://www.parvalo.example/")

# The ten mirrors M1..M10, base URLs "https://host/" (a port may follow the host). A mirror may
# still be "http://host/", but its reply can be changed by whoever carries it (configuring warns).
# M1..M5 are hosts of the vendor's main domain and M3 is the home page itself; M6..M9 lie in four other
# domains, M10 in the vendor's second domain.
set(SETUPTQ_MIRRORS
  "https://dl1.parvalo.example/"
  "https://dl2.parvalo.example/"
  "https://www.parvalo.example/"
  "https://dl4.parvalo.example/"
  "https://dl5.parvalo.example/"
  "https://mirror.softhub.example/"
  "https://down.cnsoft.example/"
  "https://files.xiazai.example/"
  "https://soft.mirrorpool.example/"
  "https://verify.qorsoft.example/")
