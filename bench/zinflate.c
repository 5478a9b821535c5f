/* zinflate: one zlib stream on stdin, inflated to stdout, with zlib's inflate and nothing else. */
#include <stdio.h>
#include <zlib.h>

int main(void) {
  static unsigned char in[65536], out[65536];
  z_stream zs = {0};
  int rc = Z_OK;
  if (inflateInit(&zs) != Z_OK) return 2;
  while (rc != Z_STREAM_END) {
    zs.avail_in = (uInt)fread(in, 1, sizeof in, stdin);
    if (zs.avail_in == 0) break;
    zs.next_in = in;
    do {
      zs.next_out = out;
      zs.avail_out = sizeof out;
      rc = inflate(&zs, Z_NO_FLUSH);
      if (rc < 0 || rc == Z_NEED_DICT) return 1;
      fwrite(out, 1, sizeof out - zs.avail_out, stdout);
    } while (zs.avail_out == 0);
  }
  inflateEnd(&zs);
  return rc == Z_STREAM_END ? 0 : 1;
}
