#!/usr/bin/env bash
# GNU parallel across hosts: the README's recipes, as written, against an sshd that this test
# starts on 127.0.0.1 with a port, host key and user key of its own. An ssh config file (given
# to parallel in PARALLEL_SSH) names two hosts, host1 and host2, for it; each host has its own
# home directory in the scratch directory, where a login starts as on another machine. Each
# result is compared byte for byte with one local run of the build's binary.
#   ssh_parallel.sh README TARBALL TAGSIFT FILES_DIR
set -uo pipefail
. "$(dirname "$0")/common.sh"
readme=$(realpath "$1") tarball=$(realpath "$2") tagsift=$(realpath "$3") files=$(realpath "$4")

sshd=$(command -v sshd || echo /usr/sbin/sshd)
[ -x "$sshd" ] || skip "the OpenSSH server is not installed (Debian: openssh-server)"
for tool in ssh ssh-keygen parallel rsync python3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
# Run as root, sshd wants its privilege separation directory, which a machine that never
# started the service lacks.
if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
    mkdir -m 755 /run/sshd && trap 'cleanup; rmdir /run/sshd 2>/dev/null' EXIT
fi

s=$scratch
ssh-keygen -q -t ed25519 -N '' -f "$s/host_key" && ssh-keygen -q -t ed25519 -N '' -f "$s/user_key" || exit 1
cp "$s/user_key.pub" "$s/authorized_keys"
echo "tagsift-test $(cat "$s/host_key.pub")" >"$s/known_hosts"
mkdir -p "$s/homes/host1" "$s/homes/host2" "$s/home"
up=
for _ in 1 2 3 4 5; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    # The client tells which host it logged in to (TEST_HOST); the login's HOME and starting
    # directory are that host's home.
    cat >"$s/sshd_config" <<CONFIG
ListenAddress 127.0.0.1:$port
HostKey $s/host_key
PidFile none
AuthorizedKeysFile $s/authorized_keys
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
MaxStartups 100:30:200
AcceptEnv TEST_HOST
SetEnv HOMES=$s/homes
ForceCommand export HOME="\$HOMES/\$TEST_HOST" && cd "\$HOME" && exec "\$SHELL" -c "\$SSH_ORIGINAL_COMMAND"
CONFIG
    cat >"$s/ssh_config" <<CONFIG
Host host1 host2
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $s/user_key
  IdentitiesOnly yes
  HostKeyAlias tagsift-test
  UserKnownHostsFile $s/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 30
  LogLevel ERROR
Host host1
  SetEnv TEST_HOST=host1
Host host2
  SetEnv TEST_HOST=host2
CONFIG
    start "$sshd" -D -e -f "$s/sshd_config" 2>>"$s/sshd.log"
    for _ in $(seq 150); do
        kill -0 "${started[-1]}" 2>/dev/null || break
        ssh -F "$s/ssh_config" host1 true 2>/dev/null && { up=1; break; }
        sleep 0.2
    done
    [ -n "$up" ] && break
done
[ -n "$up" ] || { cat "$s/sshd.log"; fail "sshd did not start"; }
[ "$(ssh -F "$s/ssh_config" host2 pwd)" = "$s/homes/host2" ] || fail "a login to host2 does not start in its home"

export PARALLEL_SSH="ssh -F $s/ssh_config" HOME=$s/home
ok=0

# Files and program on storage that both hosts see: the scratch directory.
mkdir -p "$s/shared/pages" "$s/shared/crawl" && cd "$s/shared" || exit 1
cp "$files"/pages/*.html pages/ && cp "$files"/warc/*.warc.gz crawl/ && cp "$tarball" . || exit 1
run_recipe unpack || fail "the program could not be unpacked"
run_recipe parallel-shared >"$s/shared.out"
echo "failed $(failed $?)" >>"$s/shared.out"
"$tagsift" -tag a -out '$_file$\t$href$\n' -- pages/* >"$s/expected.out" 2>/dev/null
echo "failed $(failed $?)" >>"$s/expected.out"
same "shared storage: pages" "$s/expected.out" "$s/shared.out" || ok=1

run_recipe parallel-crawl >"$s/crawl.out"
echo "failed $(failed $?)" >>"$s/crawl.out"
"$tagsift" --warc -tag title -out '$_url$\t%t$_body$\n' -- crawl/*.warc.gz >"$s/expected.out" 2>/dev/null
echo "failed $(failed $?)" >>"$s/expected.out"
same "shared storage: crawl files" "$s/expected.out" "$s/crawl.out" || ok=1

# Files on this machine only, sent to the hosts and their results fetched. GNU parallel
# cannot fetch back a result whose name holds $ or % (the README says so): the pages here
# have plain names.
mkdir -p "$s/local/pages" && cd "$s/local" || exit 1
for f in "$files"/pages/*.html; do
    [[ $(basename "$f") =~ ^[A-Za-z0-9._-]+$ ]] && cp "$f" pages/
done
cp "$tarball" . && run_recipe unpack || fail "the program could not be unpacked"
run_recipe parallel-transfer
echo "failed $(failed $?)" >"$s/status"
for f in pages/*.html; do cat "$f.links"; done >"$s/transfer.out"
cat "$s/status" >>"$s/transfer.out"
"$tagsift" -tag a -out '$href$\n' -- pages/*.html >"$s/expected.out" 2>/dev/null
echo "failed $(failed $?)" >>"$s/expected.out"
same "files sent to the hosts" "$s/expected.out" "$s/transfer.out" || ok=1
for h in host1 host2; do
    [ -x "$s/homes/$h/tagsift/bin/tagsift" ] || { echo "FAIL the program was not sent to $h"; ok=1; }
    [ -z "$(find "$s/homes/$h" -name '*.html*')" ] || { echo "FAIL $h kept files after --cleanup"; ok=1; }
done

[ $ok -eq 0 ] && echo "3 passed, 0 failed" || echo "some failed"
exit $ok
