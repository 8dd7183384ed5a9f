#!/usr/bin/perl
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints a database as Palm::PDB, an implementation independent of ours, reads it:
#   header NAME TYPE CREATOR BACKUP(0|1)
#   appinfo HEX
#   record ID ATTRIBUTES DATAHEX
# where ATTRIBUTES is the attribute byte rebuilt from what Palm::PDB parsed: 0x80
# deleted, 0x40 dirty, 0x20 busy, 0x10 private, then 0x08 archive on a deleted or busy
# record, else the category.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my $pdb = Palm::PDB->new;
$pdb->Load($ARGV[0]);
printf "header %s %s %s %d\n", $pdb->{name}, $pdb->{type}, $pdb->{creator}, $pdb->{attributes}{Backup} ? 1 : 0;
printf "appinfo %s\n", unpack('H*', $pdb->{appinfo} // '');
for my $r (@{ $pdb->{records} || [] }) {
    my $a = $r->{attributes};
    my $byte = ($a->{expunged} ? 0x80 : 0) | ($a->{dirty} ? 0x40 : 0) | ($a->{deleted} ? 0x20 : 0)
             | ($a->{private} ? 0x10 : 0);
    $byte |= defined $r->{category} ? $r->{category} : ($a->{archive} ? 0x08 : 0);
    printf "record %d %d %s\n", $r->{id}, $byte, unpack('H*', $r->{data} // '');
}
