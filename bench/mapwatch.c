/* Start-up time to a window: starts a program and prints the milliseconds from its start to
 * the moment a top-level window with the given title is mapped on the X display, then ends
 * the program. Event-driven (the X server reports each map and title change), so the figure
 * has no polling delay in it.
 *   mapwatch TITLE TIMEOUT_S PROGRAM [ARG...]      exit 0 and the milliseconds on stdout;
 *                                                  exit 1 when no such window came in time
 * A window counts when it is mapped and its title (_NET_WM_NAME, else WM_NAME) equals TITLE,
 * in whichever order the two happen. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int TitleIs(Display* d, Window w, const char* title) {
  Atom net_name = XInternAtom(d, "_NET_WM_NAME", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom type;
  int format, same = 0;
  unsigned long count, after;
  unsigned char* data = NULL;
  if (XGetWindowProperty(d, w, net_name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
      data) {
    same = type == utf8 && strlen(title) == count && memcmp(data, title, count) == 0;
    XFree(data);
    return same;
  }
  char* name = NULL;
  if (XFetchName(d, w, &name) && name) {
    same = strcmp(name, title) == 0;
    XFree(name);
  }
  return same;
}

/* A window may be gone by the time it is asked about: that is no error here. */
static int IgnoreError(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

static int IsMapped(Display* d, Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: mapwatch TITLE TIMEOUT_S PROGRAM [ARG...]\n");
    return 2;
  }
  const char* title = argv[1];
  const double timeout = atof(argv[2]) * 1e3;
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "mapwatch: cannot open the display\n");
    return 2;
  }
  XSetErrorHandler(IgnoreError);
  Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureNotifyMask);
  XSync(d, False);

  const double start = Now();
  pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  setpgid(child, child);

  double found = -1;
  struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
  while (found < 0 && Now() - start < timeout) {
    while (XPending(d) && found < 0) {
      XEvent e;
      XNextEvent(d, &e);
      Window w = 0;
      if (e.type == CreateNotify) {
        /* Hear its title changes too, should it be named after it is mapped. */
        XSelectInput(d, e.xcreatewindow.window, PropertyChangeMask);
      } else if (e.type == MapNotify) {
        w = e.xmap.window;
      } else if (e.type == PropertyNotify) {
        w = e.xproperty.window;
      }
      if (w && IsMapped(d, w) && TitleIs(d, w, title)) found = Now();
    }
    if (found < 0) poll(&p, 1, 50);
  }
  kill(-child, SIGKILL);
  waitpid(child, NULL, 0);
  XCloseDisplay(d);
  if (found < 0) {
    fprintf(stderr, "mapwatch: no window \"%s\" within %s s\n", title, argv[2]);
    return 1;
  }
  printf("%.1f\n", found - start);
  return 0;
}
