#!/usr/bin/perl
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints a database as Palm::PDB sees it, one fact per line, so that the tests can
# compare what our writer produced with what an independent reader finds.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;
&Palm::PDB::RegisterPRCHandlers("Palm::Raw", "");

my $pdb = Palm::PDB->new;
$pdb->Load($ARGV[0]);
print "name $pdb->{name}\n";
print "type $pdb->{type} creator $pdb->{creator} version $pdb->{version}\n";
print "ctime $pdb->{ctime} mtime $pdb->{mtime} modnum $pdb->{modnum} seed $pdb->{uniqueIDseed}\n";
print "attributes ", join(',', grep { $pdb->{attributes}{$_} } sort keys %{ $pdb->{attributes} }), "\n";
print "appinfo ", (defined $pdb->{appinfo} && length $pdb->{appinfo} ? unpack('H*', $pdb->{appinfo}) : '-'), "\n";
print "sort ", (defined $pdb->{sort} && length $pdb->{sort} ? unpack('H*', $pdb->{sort}) : '-'), "\n";
for my $r (@{ $pdb->{records} || [] }) {
    my @attrs = grep { $r->{attributes}{$_} } sort keys %{ $r->{attributes} };
    printf "record id %06x category %s attributes %s data %s\n", $r->{id},
        defined $r->{category} ? $r->{category} : '-', (@attrs ? join(',', @attrs) : '-'),
        length $r->{data} ? unpack('H*', $r->{data}) : '-';
}
for my $r (@{ $pdb->{resources} || [] }) {
    printf "resource %s %d data %s\n", $r->{type}, $r->{id}, unpack('H*', $r->{data});
}
