# apt's network steps, made to survive a mirror in the middle of a sync. Source it after
# common.sh; every function uses whatever APT_CONFIG the caller exported.
#
# A failed index or download is tried again after a growing wait (KESTRUNE_APT_WAITS, seconds
# between tries: about two minutes in all). A suite whose index still fails is skipped with one
# line; the set-up stops only when a package asked for cannot be had, with one line naming it.

read -r -a APT_WAITS <<<"${KESTRUNE_APT_WAITS:-5 10 20 35 50}"
APT_CMD=(apt-get)        # setup.sh puts sudo in front when not root
APT_SKIPPED_SUITES=""   # suites the last apt_update gave up on, for the missing-package line
# apt's own retry of each download, before ours of the whole step.
APT_OPTS=(-o Acquire::Retries=3 -o Acquire::http::Timeout=30 -o Acquire::https::Timeout=30)

# The suites whose index failed, one per line, from apt-get's output on standard input
# ("E: Failed to fetch http://.../dists/bookworm-security/main/binary-i386/Packages.xz ...").
apt_failed_suites() {
    sed -n 's|^[EW]: Failed to fetch [^ ]*/dists/\([^/ ]*\)/.*|\1|p' | sort -u
}

# Why the first failed fetch failed, in a few words ("File has unexpected size ...").
apt_fetch_reason() {
    sed -n 's|^[EW]: Failed to fetch [^ ]*  *\(.*\)|\1|p' | head -1 | sed 's/ *\[IP:.*//' | cut -c1-100
}

# The package an install could not find, from apt-get's output on standard input, or nothing.
apt_missing_package() {
    sed -n -e "s/^E: Unable to locate package \(.*\)/\1/p" \
           -e "s/^E: Package '\([^']*\)' has no installation candidate/\1/p" \
           -e "s/^E: Version '\([^']*\)' for '\([^']*\)' was not found/\2=\1/p" | head -1
}

# The decision after one try of a step: ok, retry, skip (the index step only: give up on the
# failed suites and go on) or stop. Plain values in, one word out.
#   apt_decide STEP TRY STATUS MISSING FAILED_SUITES   (TRY counts from 0)
apt_decide() {
    local step=$1 try=$2 status=$3 missing=$4 failed=$5
    if ((status == 0)) && [[ -z $failed ]]; then echo ok; return; fi
    [[ -n $missing ]] && { echo stop; return; }     # waiting will not bring a package that is not there
    if ((try < ${#APT_WAITS[@]})); then echo retry; return; fi
    if [[ $step == update && -n $failed ]]; then echo skip; return; fi
    echo stop
}

# apt-get update; a suite that still fails after the waits is skipped with one line.
apt_update() {
    local try out status failed
    for ((try = 0; ; try++)); do
        status=0; out=$("${APT_CMD[@]}" "${APT_OPTS[@]}" update -qq 2>&1) || status=$?
        failed=$(apt_failed_suites <<<"$out" | paste -sd' ' -)
        case $(apt_decide update "$try" "$status" "" "$failed") in
            ok) APT_CMD=(apt-get)        # setup.sh puts sudo in front when not root
APT_SKIPPED_SUITES=""; return 0 ;;
            retry) log "package index: ${failed:+$failed failed, }trying again in ${APT_WAITS[try]} s"
                   sleep "${APT_WAITS[try]}" ;;
            skip) APT_SKIPPED_SUITES=$failed
                  log "skipped suite $failed: $(apt_fetch_reason <<<"$out")"
                  return 0 ;;
            *) log "package index: apt-get update failed (status $status)"
               tail -3 <<<"$out" >&2; return 1 ;;
        esac
    done
}

# apt-get ARGS... (install, download), tried again while downloads fail; a package that cannot
# be had stops it with one line naming the package and the suites that were skipped.
apt_fetch() {
    local try out status missing
    for ((try = 0; ; try++)); do
        status=0; out=$(DEBIAN_FRONTEND=noninteractive "${APT_CMD[@]}" "${APT_OPTS[@]}" -qq "$@" 2>&1) || status=$?
        missing=""; ((status == 0)) || missing=$(apt_missing_package <<<"$out")
        case $(apt_decide fetch "$try" "$status" "$missing" "") in
            ok) return 0 ;;
            retry) log "apt-get $1: failed (status $status), trying again in ${APT_WAITS[try]} s"
                   sleep "${APT_WAITS[try]}" ;;
            *) if [[ -n $missing ]]; then
                   log "package $missing cannot be had${APT_SKIPPED_SUITES:+ (suite $APT_SKIPPED_SUITES was skipped)}"
               else
                   log "apt-get $1 failed (status $status): $(grep -m1 '^E:' <<<"$out" | cut -c1-160)"
               fi
               return 1 ;;
        esac
    done
}
