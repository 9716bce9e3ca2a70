#!/usr/bin/env bash
# Measures pwdraw on the file systems users keep its folder on, each really
# mounted, and prints one block of figures per file system (filesystems.py,
# beside this script, takes the figures in one mounted directory):
#   host kernel:  tmpfs, ext4, xfs, btrfs, overlay (images in /dev/shm)
#   FUSE on host: exfat (exfat-fuse), ntfs-3g, sshfs to a private sshd on 127.0.0.1
#   User-mode Linux (Debian's 6.1 kernel, its root the host's / through hostfs,
#   for what a host kernel may lack): vfat, f2fs, NFS 4.2 and CIFS (SMB 3.1.1
#   to Samba), with server and client on the UML's loopback
#
#   bench/filesystems.sh [path/to/pwdraw] [runs]     as root; defaults build/pwdraw, 10
#
# It installs nothing. It needs these Debian packages and names the missing ones:
#   user-mode-linux kmod               the second kernel, and modprobe for its modules
#   dosfstools f2fs-tools              vfat and f2fs images
#   xfsprogs btrfs-progs               xfs and btrfs images (ext4's tools come with Debian)
#   nfs-kernel-server                  the NFS server and mount.nfs, both inside UML
#   samba cifs-utils                   the Samba share and mount.cifs, inside UML
#   exfat-fuse exfatprogs ntfs-3g      the FUSE exfat and NTFS on the host
#   sshfs openssh-server openssh-client  sshfs through a throw-away sshd
#   strace python3                     traces of the CIFS runs; the measuring side
# Everything it makes is removed on exit: mounts, sshd, the UML, its scratch files.
set -euo pipefail  # (steps that must not fail stand alone: set -e skips all but the last of an && chain)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
NOBODY=65534

figures() { python3 "$here/filesystems.py" "$s/pwdraw" "$@"; }  # figures DIR WHAT ARG
real_owners() { echo "3. (owners are real here: a run by another user is not measured)"; }
block() { printf '\n== %s\n' "$*"; }
unmount() {  # and forget it, so that cleanup leaves it alone
  umount "$1"
  local m keep=()
  for m in "${mounts[@]}"; do [ "$m" = "$1" ] || keep+=("$m"); done
  mounts=("${keep[@]}")
}

# Where the mount makes up every file's owner: runs as root on a mount that shows
# root as owner; then a run by nobody there, and a run by root on the same file
# system mounted for nobody, so that each runs where the files are not its own.
fictional() {  # fictional DIR-NAME TITLE MOUNT-FUNCTION (called as FUNCTION OWNER-UID DIR)
  local dir=$s/$1
  block "$2"
  mkdir -p "$dir"
  "$3" 0 "$dir"
  mounts+=("$dir")
  figures "$dir" runs "$runs"
  mkdir "$dir/by-nobody"
  chmod 777 "$dir/by-nobody"
  figures "$dir/by-nobody" stranger $NOBODY
  unmount "$dir"
  "$3" $NOBODY "$dir"
  mounts+=("$dir")
  mkdir "$dir/by-root"
  figures "$dir/by-root" stranger 0
  unmount "$dir"
}

# ---- inside User-mode Linux: this script is its init (PID 1) ----
inside_uml() {
  export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
  mount -t proc proc /proc; mount -t sysfs sys /sys
  # The servers' state goes to tmpfs inside UML: nothing they write reaches the host.
  for d in /run /var/lib/nfs /var/lib/samba /var/cache/samba /var/log/samba; do
    if [ -d $d ]; then mount -t tmpfs uml $d; fi
  done
  # UML's modules are in /usr/lib/uml/modules: modprobe, and the kernel when it asks
  # for one (a cipher that SMB 3.1.1 signs with, a code page for vfat), look there.
  mkdir -p /run/mods/lib; ln -s /usr/lib/uml/modules /run/mods/lib/modules
  printf '#!/bin/sh\nexec modprobe -d /run/mods "$@"\n' >/run/modprobe
  chmod +x /run/modprobe; echo /run/modprobe >/proc/sys/kernel/modprobe
  for m in vfat f2fs nfsd nfsv4 cifs; do /run/modprobe $m; done
  ip link set lo up

  # The servers first. NFSv4's root is a tmpfs of its own (UML's / is hostfs, which
  # NFS cannot export); below it an ext4 image, and a tmpfs for the export that
  # squashes root. Samba shares another ext4 image.
  mkdir -p "$s/srv"
  mount -t tmpfs srv "$s/srv"
  mkdir "$s/srv/nfs" "$s/srv/nfs-squash" "$s/srv/cifs"
  mount /dev/ubdc "$s/srv/nfs"
  mount -t tmpfs -o mode=777 squash "$s/srv/nfs-squash"
  mount /dev/ubdd "$s/srv/cifs"
  chmod 777 "$s/srv/cifs"
  mount -t nfsd nfsd /proc/fs/nfsd
  echo 10 >/proc/fs/nfsd/nfsv4gracetime; echo 10 >/proc/fs/nfsd/nfsv4leasetime
  mkdir -p /run/rpcbind /var/lib/nfs/v4recovery; rpcbind -w
  touch /var/lib/nfs/etab /var/lib/nfs/rmtab
  exportfs -i -o ro,fsid=0,no_subtree_check,insecure 127.0.0.1:"$s/srv"
  exportfs -i -o rw,no_root_squash,no_subtree_check,insecure 127.0.0.1:"$s/srv/nfs"
  exportfs -i -o rw,root_squash,fsid=2,no_subtree_check,insecure 127.0.0.1:"$s/srv/nfs-squash"
  rpc.mountd 2>/run/mountd.log  # (it complains that UML has no IPv6)
  # Version 4 alone: with 3, lockd would start and hold every lock (flock, which the
  # client turns into a byte-range lock on the server) for its own grace time.
  rpc.nfsd -N 3 4
  # The server refuses new opens for its grace time: end that at once (no client has
  # state to reclaim), or let it pass (10 s) while f2fs and vfat are measured.
  if [ -e /proc/fs/nfsd/v4_end_grace ]; then echo Y >/proc/fs/nfsd/v4_end_grace; fi
  mkdir -p /run/samba/{private,lock,state,cache,ncalrpc}
  cat >/run/samba/smb.conf <<EOF
[global]
  server role = standalone server
  interfaces = lo
  bind interfaces only = yes
  disable netbios = yes
  smb ports = 445
  load printers = no
  passdb backend = tdbsam:/run/samba/private/passdb.tdb
  private dir = /run/samba/private
  lock directory = /run/samba/lock
  state directory = /run/samba/state
  cache directory = /run/samba/cache
  pid directory = /run/samba
  ncalrpc dir = /run/samba/ncalrpc
  log file = /run/samba/log.%m
[share]
  path = $s/srv/cifs
  read only = no
EOF
  printf 'pw\npw\n' | smbpasswd -c /run/samba/smb.conf -s -a root >/dev/null
  smbd -D -s /run/samba/smb.conf

  block "f2fs (UML kernel $(uname -r))"
  mkdir -p "$s/f2fs"; mount -t f2fs /dev/ubdb "$s/f2fs"
  figures "$s/f2fs" runs "$runs"
  real_owners
  fictional vfat "vfat (UML kernel)" mount_vfat

  block "NFS 4.2 (UML kernel server and client on 127.0.0.1)"
  mkdir -p "$s/nfs" "$s/nfs-squash"
  mount -t nfs4 -o vers=4.2 127.0.0.1:/nfs "$s/nfs"
  figures "$s/nfs" runs "$runs"
  mount -t nfs4 -o vers=4.2 127.0.0.1:/nfs-squash "$s/nfs-squash"
  echo "   (by root on an export with root_squash, where root's files become nobody's)"
  figures "$s/nfs-squash" stranger 0

  block "CIFS (UML kernel client, SMB 3.1.1 to Samba $(smbd -V | cut -d' ' -f2) on 127.0.0.1)"
  local o=username=root,password=pw,vers=3.1.1,file_mode=0666,dir_mode=0777
  mkdir -p "$s/cifs" "$s/cifs2" "$s/cifs-nobody"
  mount -t cifs //127.0.0.1/share "$s/cifs" -o "$o",uid=0,gid=0
  figures "$s/cifs" runs "$runs"
  mkdir "$s/cifs/by-nobody"; figures "$s/cifs/by-nobody" stranger $NOBODY
  mount -t cifs //127.0.0.1/share "$s/cifs-nobody" -o "$o",uid=$NOBODY,gid=$NOBODY,nosharesock
  mkdir "$s/cifs-nobody/by-root"; figures "$s/cifs-nobody/by-root" stranger 0
  # A second mount with a connection of its own plays another client of the share.
  mount -t cifs //127.0.0.1/share "$s/cifs2" -o "$o",uid=0,gid=0,nosharesock
  smbcontrol --configfile=/run/samba/smb.conf all debug 3  # the server's word on the renames
  figures "$s/cifs" cifs "$s/cifs2"
  echo "   Samba's log (level 3) on the renames in those last two directories (a run to set"
  echo "   them up, then the one above, in each):"
  awk '/smbd_do_setfilepathinfo: open[0-9]+\/\.settings/ {name = $2}
       /Target file open/ {refused[name]++}
       /succeeded doing rename on open[0-9]+\// {print "     " $6 ": renamed"}
       END {for (name in refused) print "     " name ": refused " refused[name] "x, \"Target file open\""}' \
    /run/samba/log.*
  umount "$s/cifs" "$s/cifs2" "$s/cifs-nobody" "$s/nfs" "$s/nfs-squash" "$s/f2fs"
}
mount_vfat() { mount -t vfat -o uid="$1",gid="$1",umask=0 /dev/ubda "$2"; }

if [ "${1:-}" = --inside-uml ]; then
  s=$2 runs=$3 mounts=()
  set +e  # PID 1 must live to power off; the part itself stops at its first failure
  (set -e; inside_uml) >>"$s/uml.out" 2>&1
  rc=$?
  [ $rc = 0 ] || echo "UML part failed: $rc" >>"$s/uml.out"
  sync
  python3 -c 'import ctypes; ctypes.CDLL(None).reboot(0x4321FEDC)'  # power off
  exit $rc
fi

# ---- on the host ----
exe=$(realpath "${1:-$here/../build/pwdraw}") runs=${2:-10}
[ "$(id -u)" = 0 ] || { echo "run as root: it mounts file systems and runs as other users" >&2; exit 1; }
missing=()
for p in user-mode-linux kmod dosfstools f2fs-tools xfsprogs btrfs-progs nfs-kernel-server samba \
         cifs-utils exfat-fuse exfatprogs ntfs-3g sshfs openssh-server openssh-client strace python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing Debian packages: apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
s=$(mktemp -d) img=$(mktemp -d /dev/shm/pwdraw-fs.XXXXXX)  # scratch; images in memory
chmod 755 "$s"  # nobody must reach pwdraw and its directories
cp "$exe" "$s/pwdraw"
mounts=() pids=() loops=() made_run_sshd=
cleanup() {  # also after a failure or an interrupt
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  for loop in "${loops[@]}"; do losetup -d "$loop" || true; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -n "$made_run_sshd" ]; then rmdir /run/sshd; fi
  rm -rf --one-file-system "$s" "$img"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
echo "pwdraw: $exe ($(sha256sum <"$exe" | cut -c1-12)), $runs runs; host kernel $(uname -r)"

block tmpfs
mkdir "$s/tmpfs"; mount -t tmpfs -o size=256m pwdraw-fs "$s/tmpfs"; mounts+=("$s/tmpfs")
figures "$s/tmpfs" runs "$runs"
real_owners
for fs in ext4 xfs btrfs; do
  block "$fs (host kernel, loop image)"
  truncate -s 512M "$img/$fs.img"
  case $fs in ext4) mkfs.ext4 -q -F "$img/$fs.img" ;; *) mkfs.$fs -q -f "$img/$fs.img" >/dev/null ;; esac
  mkdir "$s/$fs"; mount -o loop "$img/$fs.img" "$s/$fs"; mounts+=("$s/$fs")
  figures "$s/$fs" runs "$runs"
  real_owners
  unmount "$s/$fs"
done

block "overlay (upper and lower on tmpfs, the user's files in the lower layer)"
mkdir "$s/ovl"; mount -t tmpfs pwdraw-fs "$s/ovl"; mounts+=("$s/ovl")
mkdir -p "$s"/ovl/{lower/conc,upper,work,merged}
(cd "$s/ovl/lower/conc" && "$s/pwdraw" 25 0 4711 >/dev/null)  # copied up when first written
mount -t overlay overlay -o "lowerdir=$s/ovl/lower,upperdir=$s/ovl/upper,workdir=$s/ovl/work" \
  "$s/ovl/merged"; mounts+=("$s/ovl/merged")
figures "$s/ovl/merged" runs "$runs"
real_owners

truncate -s 256M "$img/exfat.img" "$img/ntfs.img"
mkfs.exfat "$img/exfat.img" >/dev/null
mkntfs -F -Q -q "$img/ntfs.img" 2>/dev/null  # it warns that a file is no disk
# Through loop devices, as a USB stick is a block device (fuseblk; exfat-fuse wants one).
exfat=$(losetup -f --show "$img/exfat.img")
loops+=("$exfat")
ntfs=$(losetup -f --show "$img/ntfs.img")
loops+=("$ntfs")
mount_exfat() { mount.exfat-fuse -o allow_other,uid="$1",gid="$1",umask=0 "$exfat" "$2" >/dev/null; }
mount_ntfs() { ntfs-3g -o allow_other,uid="$1",gid="$1",umask=0 "$ntfs" "$2"; }
fictional exfat "exfat (FUSE, exfat-fuse $(dpkg-query -W -f='${Version}' exfat-fuse))" mount_exfat
fictional ntfs "ntfs-3g (FUSE)" mount_ntfs

# sshfs: an sshd of our own on a free loopback port, with keys made here.
[ -d /run/sshd ] || { mkdir -m 755 /run/sshd && made_run_sshd=1; }  # sshd's fixed privsep dir
ssh-keygen -q -t ed25519 -N '' -f "$s/hostkey"; ssh-keygen -q -t ed25519 -N '' -f "$s/key"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/sbin/sshd -D -e -f /dev/null -h "$s/hostkey" -p "$port" -o ListenAddress=127.0.0.1 \
  -o AuthorizedKeysFile="$s/key.pub" -o PermitRootLogin=prohibit-password -o StrictModes=no \
  -o UsePAM=no -o "Subsystem=sftp internal-sftp" 2>"$s/sshd.log" &
pids+=($!)
mkdir -m 755 "$s/remote"
mount_sshfs() {
  for _ in 1 2 3 4 5; do  # sshd may not listen yet
    sshfs -p "$port" -o IdentityFile="$s/key",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null \
      -o BatchMode=yes,LogLevel=ERROR,allow_other,uid="$1",gid="$1" root@127.0.0.1:"$s/remote" "$2" && return
    sleep 0.5
  done
  return 1
}
fictional sshfs "sshfs (FUSE, sshfs $(dpkg-query -W -f='${Version}' sshfs) to 127.0.0.1)" mount_sshfs

# vfat, f2fs, NFS and CIFS inside User-mode Linux; its figures are printed as they come.
truncate -s 256M "$img/vfat.img" "$img/f2fs.img" "$img/nfs.img" "$img/cifs.img"
mkfs.vfat "$img/vfat.img" >/dev/null
mkfs.f2fs -q -f "$img/f2fs.img" >/dev/null
mkfs.ext4 -q -F "$img/nfs.img"  # exported by NFS
mkfs.ext4 -q -F "$img/cifs.img"  # shared by Samba
printf '#!/bin/sh\nexec %q --inside-uml %q %q\n' "$here/filesystems.sh" "$s" "$runs" >"$s/uml-init"
chmod +x "$s/uml-init"; : >"$s/uml.out"
TMPDIR=$img timeout 900 linux.uml root=/dev/root rootfstype=hostfs rootflags=/ rw mem=768M \
  ubd0="$img/vfat.img" ubd1="$img/f2fs.img" ubd2="$img/nfs.img" ubd3="$img/cifs.img" init="$s/uml-init" \
  con0=fd:0,fd:1 con=null quiet </dev/null >"$s/uml.console" 2>&1 &
uml=$!
pids+=("$uml")
tail -n +1 -f --pid="$uml" "$s/uml.out" &  # in the background, so that a signal is served at once
pids+=($!)
wait "$uml" || { echo "UML ended with $?; its console:"; tail -20 "$s/uml.console"; exit 1; }
wait "${pids[-1]}"  # tail prints the last lines and ends
if grep -q '^UML part failed' "$s/uml.out"; then exit 1; fi
