# Writes a class that derives from the last interface named in `interfaces` and answers E_NOTIMPL
# from every method of the named interfaces (IUnknown and IDispatch excepted), read from a mingw-w64
# header. Test stand-ins derive from it and implement only what the code under test calls.
# Usage: awk -v interfaces="IBase IDerived" -v class=Name -f not_implemented.awk header.h
BEGIN {
  n = split(interfaces, names, " ")
  for (i = 1; i <= n; i++) wanted[names[i]] = 1
  printf "class %s : public %s {\npublic:\n", class, names[n]
}
/^[A-Za-z0-9_]+ : public [A-Za-z0-9_]+$/ { inside = ($1 in wanted); next }
inside && /^};/ { inside = 0; next }
inside && /^\{/ { next }
inside && NF {
  line = $0
  sub(/\) = 0;$/, ") override { return E_NOTIMPL; }", line)
  print line
}
END { print "};\n" }
