# Writes classes whose every method answers E_NOTIMPL, from the interface declarations of
# mingw-w64 headers. Test stand-ins derive from them and implement only what the code under test
# calls. Each class is NAME:I1,I2,...: it derives from the last interface and covers the methods of
# all the named ones (IUnknown and IDispatch are the stand-in's own).
# Usage: awk -v out=FILE -v classes="NAME:I1,I2 ..." -f not_implemented.awk HEADER...
/^[A-Za-z0-9_]+ : public [A-Za-z0-9_]+$/ { current = $1; next }
current != "" && /^};/ { current = ""; next }
current != "" && /^\{/ { next }
current != "" && NF {
  line = $0
  sub(/\) = 0;$/, ") override { return E_NOTIMPL; }", line)
  gsub(/ = [^,)]+/, "", line) # default arguments belong to the interface
  methods[current] = methods[current] line "\n"
}
END {
  print "#pragma once\n#include <exdisp.h>\n#include <mshtml.h>\n#pragma GCC diagnostic ignored \"-Wunused-parameter\"\n" > out
  count = split(classes, specs, " ")
  for (c = 1; c <= count; c++) {
    split(specs[c], parts, ":")
    n = split(parts[2], interfaces, ",")
    printf "class %s : public %s {\npublic:\n", parts[1], interfaces[n] > out
    for (i = 1; i <= n; i++) {
      if (!(interfaces[i] in methods)) { print "not_implemented.awk: no interface " interfaces[i] > "/dev/stderr"; exit 1 }
      printf "%s", methods[interfaces[i]] > out
    }
    print "};\n" > out
  }
}
